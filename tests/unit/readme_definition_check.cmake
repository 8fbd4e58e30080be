# The administrators' section of README.md against the hotfix's definition: the detection
# table (a row per product, in order: display name, executable, target file version), the
# detection script's key and targets, the file rule's example and the installer's name in the
# command lines. Fails, listing every difference, when they disagree.
#   cmake -DDEFINITION=hotfix/hotfix2.json -DREADME=README.md -P readme_definition_check.cmake
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/hotfix_definition.cmake)
hotfix_read_definition(${DEFINITION})

file(READ ${README} readme)
string(FIND "${readme}" "\n## For administrators" begin)
if(begin EQUAL -1)
  message(FATAL_ERROR "${README}: no section \"## For administrators\"")
endif()
math(EXPR begin "${begin} + 1")
string(SUBSTRING "${readme}" ${begin} -1 section)
string(FIND "${section}" "\n## " end)
string(SUBSTRING "${section}" 0 ${end} section)

set(differences "")
function(expect what actual expected)
  if(NOT actual STREQUAL expected)
    string(APPEND differences "\n  ${what}:\n    README:     ${actual}\n    definition: ${expected}")
    set(differences "${differences}" PARENT_SCOPE)
  endif()
endfunction()

# The definition's rows, in the README's forms.
set(rows "")
set(targets "")
foreach(i IN LISTS HOTFIX_DEF_PRODUCTS)
  string(REGEX REPLACE ".*\\(([^()]+)\\)$" "\\1" version "${HOTFIX_DEF_P${i}_TARGET_LABEL}")
  list(APPEND rows "${HOTFIX_DEF_P${i}_DISPLAY_NAME} | ${HOTFIX_DEF_P${i}_EXECUTABLE} | ${version}")
  string(TOLOWER "${HOTFIX_DEF_P${i}_EXECUTABLE}" lower)
  list(APPEND targets "'${lower}' = '${version}'")
endforeach()
list(GET HOTFIX_DEF_PRODUCTS 0 first)
list(GET rows 0 firstRow)
string(REGEX REPLACE ".* \\| " "" firstVersion "${firstRow}")

# The table: the rows after "| product | executable | file version |" and its rule line.
string(REGEX MATCH "\n\\| product \\| executable \\| file version \\|\n\\|[-|]+\\|\n(\\|[^\n]*\\|\n)*" table "${section}")
string(REGEX MATCHALL "\n\\| [^|\n]+ \\| `[^`\n]+` \\| [^|\n]+ \\|" lines "${table}")
set(readmeRows "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^\n\\| (.+) \\| `(.+)` \\| (.+) \\|$" "\\1 | \\2 | \\3" row "${line}")
  list(APPEND readmeRows "${row}")
endforeach()
expect("detection table rows" "${readmeRows}" "${rows}")

string(REGEX MATCH "\\$key = 'Registry::HKEY_CLASSES_ROOT\\\\([^']*)'" ignored "${section}")
expect("detection script's key" "${CMAKE_MATCH_1}" "${HOTFIX_DEF_OPEN_COMMAND_KEY}")
string(REGEX MATCH "\\$targets = @{ ([^}]*) }" ignored "${section}")
string(REPLACE "; " ";" readmeTargets "${CMAKE_MATCH_1}")
expect("detection script's targets" "${readmeTargets}" "${targets}")

string(REGEX MATCH "file =[ \n]+`([^`]+)`" ignored "${section}")
expect("file rule's file" "${CMAKE_MATCH_1}" "${HOTFIX_DEF_P${first}_EXECUTABLE}")
string(REGEX MATCH "value `([^`]+)`" ignored "${section}")
expect("file rule's version" "${CMAKE_MATCH_1}" "${firstVersion}")

string(REGEX MATCHALL "HotFix_[A-Za-z0-9_.-]*_Setup\\.exe" names "${section}")
list(REMOVE_DUPLICATES names)
expect("installer named in the command lines" "${names}" "${HOTFIX_DEF_INSTALLER}")

if(differences)
  message(FATAL_ERROR "${README} disagrees with ${HOTFIX_DEF_FILE}:${differences}")
endif()
message(STATUS "${README} agrees with ${HOTFIX_DEF_FILE}")
