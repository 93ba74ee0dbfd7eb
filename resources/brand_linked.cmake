# Tovinel: the build's branding step, run with cmake -P after each link of a branded tovinel.exe:
# tovinel-brand brands the linked file in place with what the configure recorded in brand/brand.json.
# Usage: cmake -DTOOL=tovinel-brand -DRECORD=brand/brand.json -DEXE=tovinel.exe -P brand_linked.cmake
# Each text goes in an argument of its own, quoted: passed through a list, a semicolon would split it.
file(READ "${RECORD}" record)
foreach(key CompanyName FileDescription LegalCopyright ProductName)
  string(JSON ${key} GET "${record}" texts ${key})
endforeach()
string(JSON budget GET "${record}" budget)
string(JSON icon_type TYPE "${record}" icon)
if(icon_type STREQUAL "NULL")
  execute_process(COMMAND "${TOOL}" "--company=${CompanyName}" "--description=${FileDescription}"
                          "--copyright=${LegalCopyright}" "--product=${ProductName}" "--budget=${budget}"
                          -o "${EXE}" "${EXE}"
                  RESULT_VARIABLE failed)
else()
  string(JSON icon GET "${record}" icon)
  execute_process(COMMAND "${TOOL}" "--icon=${icon}" "--company=${CompanyName}" "--description=${FileDescription}"
                          "--copyright=${LegalCopyright}" "--product=${ProductName}" "--budget=${budget}"
                          -o "${EXE}" "${EXE}"
                  RESULT_VARIABLE failed)
endif()
if(failed)
  # The tool said why on the line above; the build removes the unbranded tovinel.exe it linked.
  message(FATAL_ERROR "tovinel.exe is not branded: change the option the line above names (--company: "
          "TOVINEL_COMPANY_NAME, --product: TOVINEL_PRODUCT_NAME, --description: TOVINEL_FILE_DESCRIPTION, "
          "--copyright: TOVINEL_LEGAL_COPYRIGHT, --icon: TOVINEL_ICON, --budget: TOVINEL_SIZE_BUDGET)")
endif()
