// Tovinel check: the UDF tree of a disc image (udf_image.h), read by libudfread through a block input
// of ours that counts, caps and inspects every block, and the revision, read by a parser of our own.
#include "media/udf_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <udfread/blockinput.h>
#include <udfread/udfread.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "media/image_paths.h"

namespace {

// UDF on CD, DVD and Blu-ray media has 2048-byte logical blocks, the media's sector size, and so
// does libudfread (UDF_BLOCK_SIZE); a volume of other blocks (a hard disk's) is refused.
constexpr uint32_t block_size = 2048;
static_assert(block_size == UDF_BLOCK_SIZE, "libudfread reads 2048-byte blocks");

// Bounds of one listing, beyond any distribution medium. Entries: as the ISO 9660 reader's. Folder
// data: as its listing budget. Blocks read in all: the folder data, one file entry for each entry,
// and the volume structures (recognition sequence, anchors, descriptor sequences, file set).
constexpr size_t entry_limit = 60000;
// libudfread finds a name by a linear search of its folder, so listing a folder costs the square of
// its entries: 10000 cost at most 50 million comparisons.
constexpr size_t folder_entry_limit = 10000;
constexpr unsigned depth_limit = 64;
constexpr uint64_t folder_data_budget = 16u << 20;
constexpr uint64_t structure_blocks = 1024;
constexpr uint64_t listing_blocks = folder_data_budget / block_size + entry_limit + structure_blocks;
// Our own reads of the descriptor sequences, pointers followed included.
constexpr unsigned sequence_blocks_most = 64;
// The file set descriptor's area, which libudfread reads block by block until it finds the descriptor.
constexpr uint32_t file_set_area_most = 32 * block_size;
// Allocation extents one file entry may chain: a file needs one for every hundred or so pieces.
constexpr size_t allocation_extents_most = 64;

// Descriptor tags (ECMA-167).
enum : uint16_t {
    tag_primary_volume = 1,
    tag_anchor = 2,
    tag_pointer = 3,
    tag_partition = 5,
    tag_logical_volume = 6,
    tag_terminator = 8,
    tag_integrity = 9,
    tag_file_set = 256,
    tag_file_identifier = 257,
    tag_allocation_extent = 258,
    tag_file_entry = 261,
    tag_extended_file_entry = 266,
};
constexpr uint8_t file_type_folder = 4;
constexpr uint32_t extent_length_mask = 0x3FFFFFFF;  // the top two bits of an extent's length are its type
constexpr uint32_t extent_type_next = 3;              // the extent continues the allocation descriptors

uint16_t little16(const unsigned char* at)
{
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

uint32_t little32(const unsigned char* at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

void put_little32(unsigned char* at, uint32_t value)
{
    for (int byte = 0; byte < 4; ++byte)
        at[byte] = static_cast<unsigned char>(value >> (8 * byte));
}

// The image's bytes: a host file, read with pread, or bytes in memory.
struct image_bytes {
    int descriptor = -1;
    std::string_view memory;
    uint64_t size = 0;

    uint64_t blocks() const { return size / block_size; }
};

// Reads `count` bytes at `offset`; false unless all of them are there.
bool read_bytes(const image_bytes& bytes, uint64_t offset, void* into, size_t count)
{
    if (offset > bytes.size || count > bytes.size - offset)
        return false;
    if (bytes.descriptor < 0) {
        memcpy(into, bytes.memory.data() + offset, count);
        return true;
    }
    size_t done = 0;
    while (done < count) {
        ssize_t got = pread(bytes.descriptor, static_cast<char*>(into) + done, count - done,
                            static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

// The host file or the memory of `image`, open for reading while this lives.
struct opened_bytes {
    image_bytes bytes;
    ~opened_bytes()
    {
        if (bytes.descriptor >= 0)
            close(bytes.descriptor);
    }
};

bool open_bytes(const std::string& image_path, std::string_view memory, opened_bytes* opened, std::string* error)
{
    if (image_path.empty()) {
        opened->bytes.memory = memory;
        opened->bytes.size = memory.size();
        return true;
    }
    opened->bytes.descriptor = open(image_path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (opened->bytes.descriptor < 0) {
        *error = "it cannot be opened: " + std::string(strerror(errno));
        return false;
    }
    struct stat facts;
    if (fstat(opened->bytes.descriptor, &facts) != 0 || !S_ISREG(facts.st_mode)) {
        *error = "it is no regular file";
        return false;
    }
    opened->bytes.size = static_cast<uint64_t>(facts.st_size);
    return true;
}

// The CRC of descriptor bodies: CRC-CCITT, polynomial 0x1021, starting from 0.
uint16_t descriptor_crc(const unsigned char* data, size_t count)
{
    unsigned crc = 0;
    for (size_t i = 0; i < count; ++i) {
        crc ^= static_cast<unsigned>(data[i]) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) != 0 ? (crc << 1 ^ 0x1021) & 0xFFFF : (crc << 1) & 0xFFFF;
    }
    return static_cast<uint16_t>(crc);
}

// Tells whether the 16-byte descriptor tag at `tag` is sound: its checksum (byte 4, the sum of the
// other fifteen bytes) matches. This is all libudfread checks of a descriptor.
bool tag_sound(const unsigned char* tag)
{
    unsigned sum = 0;
    for (int i = 0; i < 16; ++i)
        sum += i == 4 ? 0 : tag[i];
    return (sum & 0xFF) == tag[4];
}

// The tag id of the descriptor in block `lba`, read into `block`, when its tag is sound; 0 otherwise
// (no descriptor has the id 0). The rule libudfread follows, so that we walk what it will walk.
uint16_t read_descriptor(const image_bytes& bytes, uint64_t lba, unsigned char* block)
{
    return read_bytes(bytes, lba * block_size, block, block_size) && tag_sound(block) ? little16(block) : 0;
}

// Tells whether the CRC of the descriptor in `block` matches its body: what we check, besides the
// tag, before we take a value from it.
bool crc_sound(const unsigned char* block)
{
    uint16_t crc_length = little16(block + 10);
    return crc_length <= block_size - 16 && descriptor_crc(block + 16, crc_length) == little16(block + 8);
}

bool announces_udf(const image_bytes& bytes)
{
    bool begun = false;
    bool nsr = false;
    // The extended area follows the ISO 9660 descriptors of a bridge image; libudfread looks up to 256.
    for (uint64_t sector = 16; sector < 256; ++sector) {
        unsigned char start[8];
        if (!read_bytes(bytes, sector * block_size, start, sizeof start))
            return false;
        const char* id = reinterpret_cast<const char*>(start + 1);
        if (memcmp(id, "CD001", 5) == 0 && !begun)
            continue;
        if (memcmp(id, "BEA01", 5) == 0)
            begun = true;
        else if (begun && (memcmp(id, "NSR02", 5) == 0 || memcmp(id, "NSR03", 5) == 0))
            nsr = true;
        else if (memcmp(id, "TEA01", 5) == 0)
            return begun && nsr;
        else if (!begun || (memcmp(id, "BOOT2", 5) != 0 && memcmp(id, "CDW02", 5) != 0))
            return false;
    }
    return false;
}

// What our own parser reads of the volume: libudfread reads the same descriptors but keeps these.
struct volume_facts {
    unsigned revision = 0;
    unsigned min_read_revision = 0;
};

// The descriptors libudfread looks for in a volume descriptor sequence: it stops at a terminator,
// once it has all three, or at the end of the extent, however long, following pointers wherever
// they lead (even in a circle).
enum : unsigned { found_primary = 1, found_partition = 2, found_logical_volume = 4, found_all = 7 };

// Walks the descriptor sequence of the extent at `lba`, `length` bytes, as libudfread will, keeping
// the logical volume descriptor it will use in `volume` and adding what it finds to *found. False when
// libudfread would read past sequence_blocks_most blocks of it, which no real sequence needs.
bool walk_sequence(const image_bytes& bytes, uint32_t lba, uint32_t length, unsigned char* volume, unsigned* found)
{
    unsigned char block[block_size];
    unsigned read = 0;
    uint64_t at = lba;
    uint64_t end = uint64_t{lba} + length / block_size;
    while (at < end && (*found & found_all) != found_all) {
        if (read++ == sequence_blocks_most)
            return false;
        uint16_t id = read_descriptor(bytes, at, block);
        if (id == tag_terminator)
            break;
        if (id == tag_pointer) {
            at = little32(block + 24);
            end = at + little32(block + 20) / block_size;
            continue;
        }
        if (id == tag_logical_volume)
            memcpy(volume, block, block_size);  // the last one, as libudfread keeps
        if (id == tag_primary_volume)
            *found |= found_primary;
        else if (id == tag_partition)
            *found |= found_partition;
        else if (id == tag_logical_volume)
            *found |= found_logical_volume;
        ++at;
    }
    return true;
}

// The Minimum UDF Read Revision of the last integrity descriptor of the sequence at `lba`, `length`
// bytes (further extents followed), or 0 when there is none.
unsigned min_read_revision_of(const image_bytes& bytes, uint32_t lba, uint32_t length)
{
    unsigned char block[block_size];
    unsigned revision = 0;
    unsigned read = 0;
    uint64_t at = lba;
    uint64_t end = uint64_t{lba} + length / block_size;
    while (at < end && read++ < sequence_blocks_most) {
        if (read_descriptor(bytes, at, block) != tag_integrity || !crc_sound(block))
            break;
        // Its implementation use follows two tables of one number a partition each; in it, after the
        // implementation's identifier (32 bytes) and the counts of files and folders (8), the
        // minimum read revision.
        uint64_t partitions = little32(block + 72);
        uint64_t use_length = little32(block + 76);
        uint64_t use_at = 80 + 8 * partitions;
        if (use_length >= 42 && use_at + 42 <= block_size)
            revision = little16(block + use_at + 40);
        uint32_t next_length = little32(block + 32);
        if (next_length != 0) {
            at = little32(block + 36);
            end = at + next_length / block_size;
        } else {
            ++at;
        }
    }
    return revision;
}

bool read_volume_facts(const image_bytes& bytes, volume_facts* facts, std::string* error)
{
    // The anchor at sector 256, or where libudfread also looks: the last sector and 256 before it.
    unsigned char anchor[block_size];
    uint64_t last = bytes.blocks() > 0 ? bytes.blocks() - 1 : 0;
    bool anchored = false;
    for (uint64_t lba : {uint64_t{256}, last, last >= 256 ? last - 256 : 0})
        if (!anchored && lba >= 256)
            anchored = read_descriptor(bytes, lba, anchor) == tag_anchor;
    if (!anchored) {
        // A volume of other blocks (a hard disk's 512 bytes) has its anchor at its block 256.
        for (uint64_t other_size : {512u, 1024u, 4096u})
            if (read_bytes(bytes, 256 * other_size, anchor, 16) && tag_sound(anchor) && little16(anchor) == tag_anchor) {
                *error = "its UDF volume has blocks of " + std::to_string(other_size) +
                         " bytes; this check reads those of optical media, 2048 bytes";
                return false;
            }
        *error = "it is no UDF volume: no sound anchor volume descriptor at sector 256 or at its end";
        return false;
    }
    // The main sequence, and the reserve one when the main one lacks a descriptor, as libudfread reads.
    unsigned char volume[block_size];
    unsigned found = 0;
    bool bounded = walk_sequence(bytes, little32(anchor + 20), little32(anchor + 16), volume, &found) &&
                   (found == found_all || walk_sequence(bytes, little32(anchor + 28), little32(anchor + 24), volume, &found));
    if (!bounded) {
        *error = "its UDF volume descriptor sequence runs past " + std::to_string(sequence_blocks_most) +
                 " sectors without a terminator";
        return false;
    }
    if ((found & found_logical_volume) == 0 || !crc_sound(volume)) {
        *error = "it is no UDF volume: its descriptor sequences hold no sound logical volume descriptor";
        return false;
    }
    uint32_t logical_block = little32(volume + 212);
    if (logical_block != block_size) {
        *error = "its UDF volume has blocks of " + std::to_string(logical_block) +
                 " bytes; this check reads those of optical media, 2048 bytes";
        return false;
    }
    // The domain: an entity identifier, flags then 23 bytes of identifier then the suffix, whose
    // first two bytes are the UDF revision.
    static const char domain[] = "*OSTA UDF Compliant";
    if (memcmp(volume + 217, domain, sizeof domain - 1) != 0) {
        std::string other(reinterpret_cast<const char*>(volume + 217), 23);
        other.resize(strnlen(other.c_str(), other.size()));
        for (char& c : other)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
                c = '?';
        *error = "it is no UDF volume: its logical volume's domain is '" + other + "', not '" + domain + "'";
        return false;
    }
    // Partition maps of type 2 that libudfread cannot follow: it reads a physical partition, and a
    // metadata partition within it (Blu-ray), nothing else.
    uint64_t maps_end = 440 + std::min<uint64_t>(little32(volume + 264), block_size - 440);
    for (uint64_t map = 440; map + 2 <= maps_end && volume[map + 1] >= 2; map += volume[map + 1]) {
        if (volume[map] != 2 || map + 28 > maps_end)
            continue;
        static const struct {
            const char* identifier;
            const char* reason;
        } unread[] = {
            {"*UDF Virtual Partition", "a virtual allocation table (a disc formatted to be written in sessions)"},
            {"*UDF Sparable Partition", "a sparable partition (a rewritable disc that remaps its defects)"},
        };
        for (const auto& kind : unread)
            if (memcmp(volume + map + 5, kind.identifier, strlen(kind.identifier)) == 0) {
                *error = std::string("its UDF volume is recorded through ") + kind.reason + ", which libudfread does not read";
                return false;
            }
    }
    facts->revision = little16(volume + 240);
    facts->min_read_revision = min_read_revision_of(bytes, little32(volume + 436), little32(volume + 432));
    return true;
}

// What the block input knows of the reading under way, and what it found. libudfread sees it only
// through the callbacks.
struct block_reader {
    const image_bytes* bytes = nullptr;
    uint64_t blocks_left = 0;        // what libudfread may still read
    uint64_t folder_bytes_left = 0;  // folder data it may still load
    bool inspect = true;             // false while a file's data is read: those blocks are no structures
    bool over_budget = false;
    bool past_end = false;
    std::string refusal;             // why a block was refused or changed, the first since cleared
    // Addresses of the folders' file entries handed over since cleared: the root's during the
    // opening, then one for each folder opened.
    std::vector<uint32_t> folder_entries;
    bool folder_in_pieces = false;   // a folder's file entry handed over since cleared lists several extents
    bool folder_extent_pending = false;  // the last folder's descriptors go on in an allocation extent
    unsigned allocation_type = 0;    // of the last file entry: short, long or extended descriptors
    std::vector<uint32_t> allocation_extents;  // read for the last file entry
    unsigned char tail[40] = {};     // the end of the last block, for a file identifier across two blocks
};

// libudfread hands the callbacks this pointer: the input comes first.
struct input_link {
    udfread_block_input input;
    block_reader* reader;
};

void refuse(block_reader* reader, const std::string& why)
{
    if (reader->refusal.empty())
        reader->refusal = why;
}

// The length of an extent that holds a file entry, at `length_at` (a file identifier's entry, the
// root folder's): libudfread would reserve and read all of it, up to 1 GiB, and then decode its first
// block only, as a file entry takes one. A longer one is handed over as one block, which changes
// nothing libudfread decodes, only what it would have wasted.
void bound_entry_length(block_reader* reader, unsigned char* length_at, const char* what)
{
    uint32_t length_field = little32(length_at);
    if ((length_field & extent_length_mask) > block_size) {
        refuse(reader, std::string(what) + " claims " + std::to_string(length_field & extent_length_mask) +
                           " bytes, read as the one block a file entry takes");
        put_little32(length_at, (length_field & ~extent_length_mask) | block_size);
    }
}

// The file set area of a logical volume descriptor: libudfread looks for the file set descriptor
// block by block through it, until it finds it, with an error line for each other block; an empty
// area (0 bytes, which it takes for 4 GiB) or an absurd one would be millions of them. Handed over
// as at least one block and at most file_set_area_most.
void bound_file_set_area(block_reader* reader, unsigned char* volume)
{
    uint32_t length_field = little32(volume + 248);
    uint32_t length = length_field & extent_length_mask;
    uint32_t bounded = std::min(std::max(length, block_size), file_set_area_most);
    if (bounded != length) {
        refuse(reader, "its file set area claims " + std::to_string(length) + " bytes, looked through as " +
                           std::to_string(bounded));
        put_little32(volume + 248, (length_field & ~extent_length_mask) | bounded);
    }
}

// File identifiers lie at 4-byte boundaries of a folder's data, which starts at a block: looks at
// each boundary of `block`, and at those of the last block's end, which may begin one that ends here.
void bound_identifiers(block_reader* reader, unsigned char* block)
{
    unsigned char window[sizeof reader->tail + block_size];
    memcpy(window, reader->tail, sizeof reader->tail);
    memcpy(window + sizeof reader->tail, block, block_size);
    // The tag and the entry's length, 24 bytes, tell; the length is changed where it lies in `block`
    // (one that lies in the tail was seen with the last block).
    for (size_t at = 0; at + 24 <= sizeof window; at += 4) {
        if (little16(window + at) != tag_file_identifier || !tag_sound(window + at))
            continue;
        bound_entry_length(reader, window + at + 20, "a name's file entry");
        if (at + 20 >= sizeof reader->tail)
            memcpy(block + (at + 20 - sizeof reader->tail), window + at + 20, 4);
    }
    memcpy(reader->tail, block + block_size - sizeof reader->tail, sizeof reader->tail);
}

// The allocation descriptors from `at` on, `length` bytes of `type` (short, long, extended): calls
// `visit` with each one's length field.
template <class Visit>
void each_extent(unsigned char* at, uint32_t length, unsigned type, Visit visit)
{
    const uint32_t size = type == 0 ? 8 : type == 1 ? 16 : 20;
    for (uint32_t offset = 0; offset + size <= length; offset += size)
        visit(at + offset);
}

// An extent that continues the descriptors is one allocation extent descriptor, one block: a longer
// one would be reserved and read whole, as for file identifiers. Handed over as one block.
void bound_next_extent(block_reader* reader, unsigned char* descriptor)
{
    uint32_t length_field = little32(descriptor);
    if (length_field >> 30 == extent_type_next && (length_field & extent_length_mask) > block_size) {
        refuse(reader, "an allocation extent of " + std::to_string(length_field & extent_length_mask) +
                           " bytes, read as its one block");
        put_little32(descriptor, (length_field & ~extent_length_mask) | block_size);
    }
}

// The allocation descriptors of a folder's data, `length` bytes from `descriptors`, where libudfread
// finds them: it loads the first extent whole, and no other. Charges the first to the folder budget,
// or, when the descriptors go on in an allocation extent from the start, waits for that one. False
// to refuse the block that holds them.
bool charge_folder(block_reader* reader, unsigned char* descriptors, uint32_t length)
{
    unsigned extents = 0;
    bool first_continues = false;
    uint64_t first_length = 0;
    each_extent(descriptors, length, reader->allocation_type, [&](unsigned char* descriptor) {
        uint32_t length_field = little32(descriptor);
        if (extents == 0) {
            first_continues = length_field >> 30 == extent_type_next;
            first_length = length_field & extent_length_mask;
        }
        if ((length_field & extent_length_mask) != 0)
            ++extents;
    });
    reader->folder_extent_pending = first_continues;
    if (first_continues)
        return true;
    reader->folder_in_pieces = reader->folder_in_pieces || extents > 1;
    uint64_t charged = (first_length + block_size - 1) / block_size * block_size;
    if (charged > reader->folder_bytes_left) {
        refuse(reader, "the folders need more than " + std::to_string(folder_data_budget >> 20) +
                           " MiB of folder data, more than this check reads");
        return false;
    }
    reader->folder_bytes_left -= charged;
    return true;
}

// A file entry, as libudfread will decode it: bounds what it would reserve, keeps the folders'
// addresses and charges their data to the folder budget. False to refuse the block.
bool inspect_file_entry(block_reader* reader, uint32_t lba, unsigned char* block)
{
    bool extended = little16(block) == tag_extended_file_entry;
    uint64_t descriptors_at = (extended ? 216u : 176u) + uint64_t{little32(block + (extended ? 208 : 168))};
    uint32_t descriptors_length = little32(block + (extended ? 212 : 172));
    if (descriptors_at + descriptors_length > block_size)
        return true;  // libudfread refuses it itself
    unsigned char* descriptors = block + descriptors_at;
    unsigned type = little16(block + 34) & 7u;
    reader->allocation_type = type;
    reader->allocation_extents.clear();
    reader->folder_extent_pending = false;
    bool folder = block[27] == file_type_folder;
    if (type == 3) {
        // The content itself: a folder's identifiers lie one after the other from its start.
        for (uint32_t at = 0; folder && at + 38 <= descriptors_length;) {
            unsigned char* identifier = descriptors + at;
            if (little16(identifier) != tag_file_identifier || !tag_sound(identifier))
                break;
            bound_entry_length(reader, identifier + 20, "a name's file entry");
            at += (38 + identifier[19] + little16(identifier + 36) + 3u) & ~3u;
        }
    } else if (type <= 2) {
        each_extent(descriptors, descriptors_length, type,
                    [&](unsigned char* descriptor) { bound_next_extent(reader, descriptor); });
    }
    if (!folder)
        return true;
    reader->folder_entries.push_back(lba);
    return type > 2 || charge_folder(reader, descriptors, descriptors_length);  // inline: within this block
}

// Looks at a block before libudfread gets it. False to refuse it.
bool inspect_block(block_reader* reader, uint32_t lba, unsigned char* block)
{
    bound_identifiers(reader, block);
    uint16_t id = little16(block);
    if (!tag_sound(block))
        return true;
    if (id == tag_file_entry || id == tag_extended_file_entry)
        return inspect_file_entry(reader, lba, block);
    if (id == tag_logical_volume)
        bound_file_set_area(reader, block);
    if (id == tag_file_set)
        bound_entry_length(reader, block + 400, "the root folder's file entry");
    if (id == tag_allocation_extent) {
        // A chain of them, which may loop: at most so many, never one twice.
        auto& chain = reader->allocation_extents;
        if (std::find(chain.begin(), chain.end(), lba) != chain.end()) {
            refuse(reader, "its allocation extents loop");
            return false;
        }
        if (chain.size() >= allocation_extents_most) {
            refuse(reader, "its allocation extents run past " + std::to_string(allocation_extents_most));
            return false;
        }
        chain.push_back(lba);
        uint32_t length = little32(block + 20);
        if (length > block_size - 24)
            return true;  // libudfread refuses it itself
        each_extent(block + 24, length, reader->allocation_type,
                    [&](unsigned char* descriptor) { bound_next_extent(reader, descriptor); });
        if (reader->folder_extent_pending)
            return charge_folder(reader, block + 24, length);
    }
    return true;
}

int read_blocks(udfread_block_input* input, uint32_t lba, void* buffer, uint32_t count, int /*flags*/)
{
    block_reader* reader = reinterpret_cast<input_link*>(input)->reader;
    if (reader->blocks_left == 0) {
        reader->over_budget = true;
        return -1;
    }
    uint64_t blocks = std::min<uint64_t>({count, reader->blocks_left, INT_MAX});
    if (lba >= reader->bytes->blocks()) {
        reader->past_end = true;
        return -1;
    }
    blocks = std::min(blocks, reader->bytes->blocks() - lba);
    unsigned char* into = static_cast<unsigned char*>(buffer);
    if (!read_bytes(*reader->bytes, uint64_t{lba} * block_size, into, blocks * block_size))
        return -1;
    reader->blocks_left -= blocks;
    for (uint64_t i = 0; reader->inspect && i < blocks; ++i)
        if (!inspect_block(reader, static_cast<uint32_t>(lba + i), into + i * block_size))
            return -1;
    return static_cast<int>(blocks);
}

uint32_t input_blocks(udfread_block_input* input)
{
    return static_cast<uint32_t>(std::min<uint64_t>(reinterpret_cast<input_link*>(input)->reader->bytes->blocks(),
                                                    UINT32_MAX));
}

// libudfread writes a line to stderr for each fault it meets, some in loops; while it reads, stderr
// is a stream that drops them (the descriptor itself stays as it is).
struct quiet_library {
    static ssize_t drop(void* /*cookie*/, const char* /*text*/, size_t size) { return static_cast<ssize_t>(size); }
    FILE* previous = stderr;
    FILE* sink = fopencookie(nullptr, "w", cookie_io_functions_t{nullptr, drop, nullptr, nullptr});
    quiet_library()
    {
        if (sink != nullptr)
            stderr = sink;
    }
    ~quiet_library()
    {
        if (sink != nullptr) {
            stderr = previous;
            fclose(sink);
        }
    }
    quiet_library(const quiet_library&) = delete;
    quiet_library& operator=(const quiet_library&) = delete;
};

// A volume opened by libudfread through a block reader of ours.
struct opened_volume {
    block_reader reader;
    input_link link{{nullptr, read_blocks, input_blocks}, &reader};
    udfread* volume = nullptr;
    volume_facts facts;
    ~opened_volume() { udfread_close(volume); }
};

std::string budget_reason()
{
    return "it needs more than " + std::to_string(listing_blocks * block_size >> 20) +
           " MiB of folders and file entries to be listed, more than this check reads";
}

bool open_volume(const image_bytes& bytes, opened_volume* opened, std::string* error)
{
    if (!announces_udf(bytes)) {
        *error = "it announces no UDF file system (no BEA01, NSR02 or NSR03, TEA01 from sector 16)";
        return false;
    }
    if (!read_volume_facts(bytes, &opened->facts, error))
        return false;
    opened->reader.bytes = &bytes;
    opened->reader.blocks_left = listing_blocks;
    opened->reader.folder_bytes_left = folder_data_budget;
    opened->volume = udfread_init();
    if (opened->volume == nullptr || udfread_open_input(opened->volume, &opened->link.input) < 0) {
        const block_reader& reader = opened->reader;
        *error = "its UDF file system cannot be read: " +
                 (reader.over_budget ? budget_reason()
                  : reader.past_end  ? std::string("the image ends before its root folder: it is cut short")
                  : !reader.refusal.empty() ? "its root folder: " + reader.refusal
                                            : std::string("libudfread finds no partition, file set or root folder"));
        return false;
    }
    return true;
}

// Turns a name as libudfread hands it over into UTF-8. libudfread writes UTF-16 units one by one
// (MUTF-8): NUL as C0 80, a pair of surrogates as two three-byte forms; a lone surrogate, which UTF-8
// cannot hold, becomes U+FFFD.
std::string utf8_of(const char* stored)
{
    std::vector<uint32_t> units;
    const unsigned char* at = reinterpret_cast<const unsigned char*>(stored);
    auto continues = [](unsigned char c) { return (c & 0xC0) == 0x80; };
    while (*at != 0) {
        if (at[0] < 0x80) {
            units.push_back(at[0]);
            at += 1;
        } else if ((at[0] & 0xE0) == 0xC0 && continues(at[1])) {
            units.push_back((at[0] & 0x1Fu) << 6 | (at[1] & 0x3Fu));
            at += 2;
        } else if ((at[0] & 0xF0) == 0xE0 && continues(at[1]) && continues(at[2])) {
            units.push_back((at[0] & 0x0Fu) << 12 | (at[1] & 0x3Fu) << 6 | (at[2] & 0x3Fu));
            at += 3;
        } else {
            units.push_back(0xFFFD);
            at += 1;
        }
    }
    std::string utf8;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t code = units[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10 | (units[++i] - 0xDC00));
        else if (code >= 0xD800 && code < 0xE000)
            code = 0xFFFD;
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | code >> 6);
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            utf8 += static_cast<char>(0xE0 | code >> 12);
            utf8 += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | code >> 18);
            utf8 += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            utf8 += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return utf8;
}

// `text` for a message on one line: control bytes (NUL among them) as \xNN.
std::string shown(const std::string& text)
{
    std::string line;
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            line += escaped;
        } else {
            line += c;
        }
    }
    return line;
}

// One listing under way.
struct listing {
    udf_image* image;
    opened_volume* opened;
    std::map<uint32_t, std::string> folder_at;  // each listed folder's file entry address: its path
    unsigned problems = 0;
    bool stopped = false;
};

void note(listing* run, const std::string& line)
{
    if (run->problems++ == 0)
        run->image->damage = line;
}

// The reason block_reader gives for what it refused or changed since it was cleared, as ": reason".
std::string reader_reason(const block_reader& reader)
{
    return reader.past_end ? ": it lies past the end of the image, which is cut short"
           : reader.refusal.empty() ? "" : ": " + reader.refusal;
}

void clear_findings(block_reader* reader)
{
    reader->refusal.clear();
    reader->past_end = false;
    reader->folder_entries.clear();
    reader->folder_in_pieces = false;
}

void list_folder(listing* run, UDFDIR* folder, const std::string& path, const std::string& stored, unsigned depth);

void open_folder(listing* run, UDFDIR* parent, const std::string& stored_name, const std::string& path,
                 const std::string& stored, unsigned depth)
{
    block_reader& reader = run->opened->reader;
    if (depth >= depth_limit) {
        note(run, "'" + shown(path) + "' lies " + std::to_string(depth) + " folders deep, as deep as this check"
                  " lists: what it holds is left out");
        return;
    }
    clear_findings(&reader);
    UDFDIR* folder = udfread_opendir_at(parent, stored_name.c_str());
    if (reader.over_budget) {
        if (folder != nullptr)
            udfread_closedir(folder);
        return;
    }
    if (folder == nullptr) {
        note(run, "the folder '" + shown(path) + "' cannot be read" + reader_reason(reader));
        return;
    }
    if (!reader.folder_entries.empty()) {
        uint32_t at = reader.folder_entries.back();
        auto known = run->folder_at.find(at);
        if (known != run->folder_at.end()) {
            const std::string& first = known->second;
            bool ancestor = first.empty() || path.compare(0, first.size() + 1, first + "\\") == 0;
            std::string named = first.empty() ? "the root folder" : "the folder '" + shown(first) + "'";
            note(run, "the folder '" + shown(path) + "' is " +
                          (ancestor ? "a loop: it is " + named + ", which holds it" : "another name of " + named) +
                          "; what it holds is listed once");
            udfread_closedir(folder);
            return;
        }
        run->folder_at.emplace(at, path);
    }
    if (reader.folder_in_pieces)
        note(run, "the folder '" + shown(path) + "' is recorded in pieces, of which libudfread reads the first");
    else if (!reader.refusal.empty())
        note(run, "the folder '" + shown(path) + "' is damaged" + reader_reason(reader));
    list_folder(run, folder, path, stored, depth + 1);
    udfread_closedir(folder);
}

void size_file(listing* run, UDFDIR* parent, const std::string& stored_name, const std::string& path, udf_entry* entry)
{
    block_reader& reader = run->opened->reader;
    clear_findings(&reader);
    UDFFILE* file = udfread_file_openat(parent, stored_name.c_str());
    if (file == nullptr) {
        // Listed all the same, for Windows lists the name; it cannot be read, and one cut off tells so.
        entry->beyond_end = reader.past_end;
        if (!reader.over_budget)
            note(run, "the file entry of '" + shown(path) + "' cannot be read" + reader_reason(reader) +
                          ": listed without a size");
        return;
    }
    if (!reader.refusal.empty())
        note(run, "the file entry of '" + shown(path) + "' is damaged" + reader_reason(reader));
    int64_t size = udfread_file_size(file);
    entry->size = size > 0 ? static_cast<uint64_t>(size) : 0;
    if (entry->size > 0) {
        // Where its first and last blocks lie (0: inside the entry, or not recorded).
        uint64_t last_block = std::min<uint64_t>((entry->size - 1) / block_size, UINT32_MAX);
        for (uint32_t block : {uint32_t{0}, static_cast<uint32_t>(last_block)}) {
            uint32_t lba = udfread_file_lba(file, block);
            entry->beyond_end = entry->beyond_end || (lba != 0 && lba >= reader.bytes->blocks());
        }
    }
    udfread_file_close(file);
}

void list_folder(listing* run, UDFDIR* folder, const std::string& path, const std::string& stored, unsigned depth)
{
    udf_image& image = *run->image;
    std::set<std::string> names;
    udfread_dirent slot;
    while (!run->stopped && udfread_readdir(folder, &slot) != nullptr) {
        std::string stored_name = slot.d_name;
        std::string name = utf8_of(slot.d_name);
        std::string child = path.empty() ? name : path + "\\" + name;
        // libudfread leaves out the parent's entry: ".." is a name, one Windows cannot hold.
        if (name == "." || name == ".." || name.find_first_of(std::string("\\/\0", 3)) != std::string::npos) {
            note(run, "the name '" + shown(child) + "' holds a NUL, a backslash or a slash, or is '.' or '..',"
                      " none of which a Windows name holds: it is left out, with what it holds");
            continue;
        }
        if (!names.insert(stored_name).second) {
            note(run, "the name '" + shown(child) + "' is in its folder twice: the second is left out");
            continue;
        }
        if (names.size() > folder_entry_limit) {
            note(run, "the folder '" + shown(path) + "' holds more than " + std::to_string(folder_entry_limit) +
                          " entries, more than this check lists in one folder: the rest is left out");
            break;
        }
        if (image.entries.size() >= entry_limit) {
            note(run, "it holds more than " + std::to_string(entry_limit) +
                          " files and folders, more than this check lists: the listing stops at '" + shown(child) + "'");
            run->stopped = true;
            break;
        }
        bool is_folder = slot.d_type == UDF_DT_DIR;
        image.entries.push_back({child, is_folder, 0, false});
        std::string stored_child = stored.empty() ? stored_name : stored + "\\" + stored_name;
        image.stored_paths.push_back(stored_child);
        if (is_folder)
            open_folder(run, folder, stored_name, child, stored_child, depth);
        else
            size_file(run, folder, stored_name, child, &image.entries.back());
        if (run->opened->reader.over_budget && !run->stopped) {
            note(run, budget_reason() + ": the listing stops at '" + shown(child) + "'");
            run->stopped = true;
        }
    }
}

bool list_image(const image_bytes& bytes, udf_image* image, std::string* error)
{
    quiet_library quiet;
    opened_volume opened;
    if (!open_volume(bytes, &opened, error))
        return false;
    image->revision = opened.facts.revision;
    image->min_read_revision = opened.facts.min_read_revision;
    const char* volume_id = udfread_get_volume_id(opened.volume);
    image->volume_id = volume_id != nullptr ? utf8_of(volume_id) : "";
    image->volume_id.erase(std::remove(image->volume_id.begin(), image->volume_id.end(), '\0'), image->volume_id.end());

    listing run{image, &opened, {}, 0, false};
    if (!opened.reader.folder_entries.empty())
        run.folder_at.emplace(opened.reader.folder_entries.back(), "");
    if (opened.reader.folder_in_pieces)
        note(&run, "the root folder is recorded in pieces, of which libudfread reads the first");
    else if (!opened.reader.refusal.empty())
        note(&run, "the volume is damaged" + reader_reason(opened.reader));
    UDFDIR* root = udfread_opendir(opened.volume, "/");
    if (root == nullptr) {
        *error = "its UDF root folder cannot be opened";
        return false;
    }
    list_folder(&run, root, "", "", 0);
    udfread_closedir(root);
    if (run.problems > 1)
        image->damage += " (and " + std::to_string(run.problems - 1) + " more " +
                         (run.problems == 2 ? "place" : "places") + " left out or damaged)";
    return true;
}

}  // namespace

bool udf_image_present(const std::string& image_path)
{
    opened_bytes opened;
    std::string error;
    return !image_path.empty() && open_bytes(image_path, {}, &opened, &error) && announces_udf(opened.bytes);
}

bool udf_image_open(const std::string& image_path, udf_image* image, std::string* error)
{
    *image = udf_image{};
    image->image_path = image_path;
    opened_bytes opened;
    if (image_path.empty()) {
        *error = "it cannot be opened: no path";
        return false;
    }
    return open_bytes(image_path, {}, &opened, error) && list_image(opened.bytes, image, error);
}

bool udf_image_open_memory(std::string_view bytes, udf_image* image, std::string* error)
{
    *image = udf_image{};
    image->memory = bytes;
    opened_bytes opened;
    return open_bytes("", bytes, &opened, error) && list_image(opened.bytes, image, error);
}

const udf_entry* udf_image_find(const udf_image& image, const std::string& windows_path)
{
    return image_path_find(image.entries, windows_path);
}

std::vector<const udf_entry*> udf_image_list(const udf_image& image, const std::string& folder_path)
{
    return image_path_list(image.entries, folder_path);
}

bool udf_image_read(const udf_image& image, const udf_entry& entry, size_t max_bytes, std::string* bytes,
                    std::string* error)
{
    bytes->clear();
    if (&entry < image.entries.data() || &entry >= image.entries.data() + image.entries.size() ||
        image.stored_paths.size() != image.entries.size()) {
        *error = "the entry is not one of this image's";
        return false;
    }
    if (entry.is_folder) {
        *error = "it is a folder";
        return false;
    }
    if (entry.beyond_end) {
        *error = "its data lies past the end of the image: the image is cut short";
        return false;
    }
    size_t wanted = static_cast<size_t>(std::min<uint64_t>({max_bytes, udf_read_cap, entry.size}));
    opened_bytes source;
    if (!open_bytes(image.image_path, image.memory, &source, error))
        return false;
    quiet_library quiet;
    opened_volume opened;
    std::string reason;
    if (!open_volume(source.bytes, &opened, &reason)) {
        *error = "the image cannot be read again: " + reason;
        return false;
    }
    // The folders on its way, by the names libudfread gave them, then the file.
    std::vector<std::string> names;
    const std::string& stored = image.stored_paths[static_cast<size_t>(&entry - image.entries.data())];
    for (size_t at = 0; at <= stored.size();) {
        size_t end = std::min(stored.find('\\', at), stored.size());
        names.push_back(stored.substr(at, end - at));
        at = end + 1;
    }
    UDFDIR* folder = udfread_opendir(opened.volume, "/");
    for (size_t i = 0; folder != nullptr && i + 1 < names.size(); ++i) {
        UDFDIR* inner = udfread_opendir_at(folder, names[i].c_str());
        udfread_closedir(folder);
        folder = inner;
    }
    UDFFILE* file = folder != nullptr ? udfread_file_openat(folder, names.back().c_str()) : nullptr;
    if (folder != nullptr)
        udfread_closedir(folder);
    if (file == nullptr || udfread_file_size(file) != static_cast<int64_t>(entry.size)) {
        *error = file == nullptr ? "it is not found again, or its file entry cannot be read"
                                 : "the image changed while it was read";
        udfread_file_close(file);
        return false;
    }
    // A file's data is no structure to inspect, and it may read only what it hands over.
    block_reader& reader = opened.reader;
    reader.inspect = false;
    reader.over_budget = reader.past_end = false;
    reader.blocks_left = wanted / block_size + 2;
    bytes->resize(wanted);
    size_t done = 0;
    while (done < wanted) {
        ssize_t got = udfread_file_read(file, &(*bytes)[done], wanted - done);
        if (got <= 0)
            break;
        done += static_cast<size_t>(got);
    }
    udfread_file_close(file);
    if (done < wanted) {
        bytes->clear();
        *error = reader.past_end ? "its data lies past the end of the image: the image is cut short"
                                 : "its data cannot be read";
        return false;
    }
    return true;
}
