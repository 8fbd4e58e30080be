# The hotfix's definition: one JSON file (hotfix/hotfix2.json; format in docs/hotfix-definition.md)
# holding every fact of one hotfix. This module reads and checks it, and writes what the build
# and the scripts take from it. Any fault in the file stops the configuration with a message
# that names the file and the field: nothing is left out or guessed.
#
#   hotfix_read_definition(FILE)
#       reads FILE and sets, in the caller's scope:
#         HOTFIX_DEF_FILE              FILE as an absolute path
#         HOTFIX_DEF_DOCUMENT_KEY      "Veltrix.Tarnovex.Document"
#         HOTFIX_DEF_OPEN_COMMAND_KEY  "Veltrix.Tarnovex.Document\shell\open\command"
#         HOTFIX_DEF_INSTALLER         the installer's file name; HOTFIX_DEF_INSTALLER_STEM without ".exe"
#         HOTFIX_DEF_FILE_VERSION, HOTFIX_DEF_PRODUCT_VERSION   four numbers each (lists)
#         HOTFIX_DEF_LANGUAGE, HOTFIX_DEF_CODE_PAGE             of the version block's strings
#         HOTFIX_DEF_STRINGS           number of version strings; HOTFIX_DEF_STRING_<i>_NAME/_VALUE
#         HOTFIX_DEF_RELEASES          the file's release root, absolute; empty when it gives none
#         HOTFIX_DEF_PRODUCTS          the products' indices, in row order (0 1 2 ...)
#         HOTFIX_DEF_P<i>_EXECUTABLE, _DISPLAY_NAME, _CODE, _TARGET_LABEL, and the lists
#         HOTFIX_DEF_P<i>_BASE_LABELS, HOTFIX_DEF_P<i>_PATCHES (patch file names, in order),
#         HOTFIX_DEF_P<i>_REMOVALS (their reverse patch files, in removal order: last first),
#         HOTFIX_DEF_P<i>_PARENT_KEY (the product's own uninstall key, "" when not given)
#         HOTFIX_DEF_PATCH_<file>_OLD, _NEW   the release trees as the file writes them
#         HOTFIX_DEF_PATCH_<file>_REVERSE      the name of its reverse patch file
#   hotfix_resolve_release_trees(DEFAULT_ROOT)
#       sets HOTFIX_DEF_RELEASE_ROOT (HOTFIX_RELEASES when set, else the file's "releases", else
#       DEFAULT_ROOT) and HOTFIX_DEF_PATCH_<file>_OLD_TREE / _NEW_TREE, absolute.
#   hotfix_write_definition_header(OUT)   the C++ header the catalogue and the tests include
#   hotfix_write_definition_script(OUT)   the shell file the scripts source (after the trees)

function(_hotfix_fail message)
  message(FATAL_ERROR "hotfix definition ${_hotfix_file}: ${message}")
endfunction()

# _hotfix_get(OUT TYPE WHERE JSON-PATH...): the member at JSON-PATH of the definition, which
# must exist and be of TYPE (STRING, NUMBER, ARRAY, OBJECT). WHERE names it in messages.
function(_hotfix_get out type where)
  string(JSON actual ERROR_VARIABLE error TYPE "${_hotfix_json}" ${ARGN})
  if(error)
    _hotfix_fail("${where} is missing")
  endif()
  if(NOT actual STREQUAL type)
    _hotfix_fail("${where} must be of type ${type}, not ${actual}")
  endif()
  string(JSON value GET "${_hotfix_json}" ${ARGN})
  if(type STREQUAL "STRING")
    # The installer compares and shows these texts byte for byte in the ANSI code page, and
    # the resource compiler reads its script as such: printable ASCII keeps them exact.
    # (A ';' would split a CMake list.)
    if(NOT value MATCHES "^[ -~]*$" OR value MATCHES ";")
      _hotfix_fail("${where} \"${value}\" must be printable ASCII without ';'")
    endif()
  elseif(type STREQUAL "NUMBER" AND NOT value MATCHES "^[0-9]+$")
    _hotfix_fail("${where} must be a whole number, not ${value}")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

# _hotfix_members(WHERE ALLOWED JSON-PATH...): an object's members must all be known (a
# misspelt optional member would otherwise be left out without a word).
function(_hotfix_members where allowed)
  string(JSON count LENGTH "${_hotfix_json}" ${ARGN})
  if(count EQUAL 0)
    return()
  endif()
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    string(JSON member MEMBER "${_hotfix_json}" ${ARGN} ${i})
    if(NOT member IN_LIST allowed)
      _hotfix_fail("${where} has an unknown member \"${member}\" (known: ${allowed})")
    endif()
  endforeach()
endfunction()

# _hotfix_array(OUT-LAST WHERE MIN JSON-PATH...): the array at JSON-PATH, with at least MIN
# elements; OUT-LAST is its last index (-1 when empty).
function(_hotfix_array out where min)
  _hotfix_get(ignored ARRAY "${where}" ${ARGN})
  string(JSON count LENGTH "${_hotfix_json}" ${ARGN})
  if(count LESS min)
    _hotfix_fail("${where} needs at least ${min} element(s)")
  endif()
  math(EXPR last "${count} - 1")
  set(${out} ${last} PARENT_SCOPE)
endfunction()

# _hotfix_version(OUT WHERE JSON-PATH...): four numbers of 0..65535.
function(_hotfix_version out where)
  _hotfix_array(last "${where}" 4 ${ARGN})
  if(NOT last EQUAL 3)
    _hotfix_fail("${where} must hold exactly four numbers")
  endif()
  set(numbers "")
  foreach(i RANGE 3)
    _hotfix_get(n NUMBER "${where}[${i}]" ${ARGN} ${i})
    if(n GREATER 65535)
      _hotfix_fail("${where}[${i}] must be at most 65535")
    endif()
    list(APPEND numbers ${n})
  endforeach()
  set(${out} ${numbers} PARENT_SCOPE)
endfunction()

# The name of a patch file's reverse (new tree to old tree): "_UNDO" before its extension.
# Example: HOTFIX_KTV410_722_HOTFIX1.RTP -> HOTFIX_KTV410_722_HOTFIX1_UNDO.RTP; NAME -> NAME_UNDO.
function(hotfix_reverse_patch_name out name)
  if(name MATCHES "^(.*[^.])(\\.[^.]*)$")
    set(${out} "${CMAKE_MATCH_1}_UNDO${CMAKE_MATCH_2}" PARENT_SCOPE)
  else()
    set(${out} "${name}_UNDO" PARENT_SCOPE)
  endif()
endfunction()

function(hotfix_read_definition file)
  get_filename_component(file "${file}" ABSOLUTE)
  set(_hotfix_file "${file}")
  if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
    _hotfix_fail("no such file")
  endif()
  file(READ "${file}" _hotfix_json)
  string(JSON type ERROR_VARIABLE error TYPE "${_hotfix_json}")
  if(error OR NOT type STREQUAL "OBJECT")
    _hotfix_fail("not a JSON object ${error}")
  endif()
  set(HOTFIX_DEF_FILE "${file}")

  _hotfix_members("the file" "documentType;installer;version;releases;products")
  _hotfix_members("documentType" "key;openCommand" documentType)
  _hotfix_get(key STRING "documentType.key" documentType key)
  _hotfix_get(command STRING "documentType.openCommand" documentType openCommand)
  if(key STREQUAL "" OR command STREQUAL "")
    _hotfix_fail("documentType.key and documentType.openCommand must not be empty")
  endif()
  set(HOTFIX_DEF_DOCUMENT_KEY "${key}")
  set(HOTFIX_DEF_OPEN_COMMAND_KEY "${key}\\${command}")

  _hotfix_get(installer STRING "installer" installer)
  if(NOT installer MATCHES "^[A-Za-z0-9_.-]+\\.exe$")
    _hotfix_fail("installer \"${installer}\" must be a file name ending in .exe (letters, digits, _ . -)")
  endif()
  string(REGEX REPLACE "\\.exe$" "" stem "${installer}")
  set(HOTFIX_DEF_INSTALLER "${installer}")
  set(HOTFIX_DEF_INSTALLER_STEM "${stem}")

  _hotfix_members("version" "fileVersion;productVersion;language;codePage;strings" version)
  _hotfix_version(numbers "version.fileVersion" version fileVersion)
  set(HOTFIX_DEF_FILE_VERSION "${numbers}")
  _hotfix_version(numbers "version.productVersion" version productVersion)
  set(HOTFIX_DEF_PRODUCT_VERSION "${numbers}")
  _hotfix_get(language NUMBER "version.language" version language)
  _hotfix_get(codePage NUMBER "version.codePage" version codePage)
  if(language GREATER 65535 OR codePage GREATER 65535)
    _hotfix_fail("version.language and version.codePage must be at most 65535")
  endif()
  set(HOTFIX_DEF_LANGUAGE "${language}")
  set(HOTFIX_DEF_CODE_PAGE "${codePage}")
  _hotfix_array(last "version.strings" 1 version strings)
  set(names "")
  foreach(i RANGE ${last})
    set(where "version.strings[${i}]")
    _hotfix_array(pairLast "${where}" 2 version strings ${i})
    if(NOT pairLast EQUAL 1)
      _hotfix_fail("${where} must be [name, value]")
    endif()
    _hotfix_get(name STRING "${where}[0]" version strings ${i} 0)
    _hotfix_get(value STRING "${where}[1]" version strings ${i} 1)
    if(NOT name MATCHES "^[A-Za-z]+$" OR name IN_LIST names)
      _hotfix_fail("${where}: \"${name}\" must be a name of letters, given once")
    endif()
    if(name STREQUAL "OriginalFilename" AND NOT value STREQUAL installer)
      _hotfix_fail("${where}: OriginalFilename \"${value}\" must be the installer's name \"${installer}\"")
    endif()
    list(APPEND names "${name}")
    set(HOTFIX_DEF_STRING_${i}_NAME "${name}")
    set(HOTFIX_DEF_STRING_${i}_VALUE "${value}")
  endforeach()
  math(EXPR count "${last} + 1")
  set(HOTFIX_DEF_STRINGS ${count})

  string(JSON releases ERROR_VARIABLE missing GET "${_hotfix_json}" releases)
  if(missing)
    set(releases "")
  else()
    _hotfix_get(releases STRING "releases" releases)
    get_filename_component(base "${file}" DIRECTORY)
    get_filename_component(releases "${releases}" ABSOLUTE BASE_DIR "${base}")
  endif()
  set(HOTFIX_DEF_RELEASES "${releases}")

  _hotfix_array(last "products" 1 products)
  set(indices "")
  set(executables "")
  set(codes "")
  set(allPatches "")
  foreach(i RANGE ${last})
    set(p "products[${i}]")
    _hotfix_members("${p}" "executable;displayName;code;baseLabels;targetLabel;patches;parentKeyName" products ${i})
    _hotfix_get(executable STRING "${p}.executable" products ${i} executable)
    _hotfix_get(displayName STRING "${p}.displayName" products ${i} displayName)
    _hotfix_get(code NUMBER "${p}.code" products ${i} code)
    _hotfix_get(target STRING "${p}.targetLabel" products ${i} targetLabel)
    if(NOT executable MATCHES "^[^\\\\/:*?\"<>|]+\\.[Ee][Xx][Ee]$")
      _hotfix_fail("${p}.executable \"${executable}\" must be a file name ending in .exe")
    endif()
    string(TOLOWER "${executable}" lower)
    if(lower IN_LIST executables OR code IN_LIST codes OR code EQUAL 0)
      _hotfix_fail("${p}: executable names and codes (1 or more) must differ from row to row")
    endif()
    if(displayName STREQUAL "" OR target STREQUAL "")
      _hotfix_fail("${p}: displayName and targetLabel must not be empty")
    endif()
    list(APPEND executables "${lower}")
    list(APPEND codes ${code})
    string(JSON parentKey ERROR_VARIABLE missing GET "${_hotfix_json}" products ${i} parentKeyName)
    if(missing)
      set(parentKey "")
    else()
      _hotfix_get(parentKey STRING "${p}.parentKeyName" products ${i} parentKeyName)
      string(FIND "${parentKey}" "\\" backslash)
      if(parentKey STREQUAL "" OR NOT backslash EQUAL -1)
        _hotfix_fail("${p}.parentKeyName \"${parentKey}\" must be a key name: not empty, no backslash")
      endif()
    endif()

    _hotfix_array(labelLast "${p}.baseLabels" 1 products ${i} baseLabels)
    set(labels "")
    foreach(k RANGE ${labelLast})
      _hotfix_get(label STRING "${p}.baseLabels[${k}]" products ${i} baseLabels ${k})
      if(label STREQUAL "" OR label STREQUAL target OR label IN_LIST labels)
        _hotfix_fail("${p}.baseLabels[${k}] \"${label}\" is empty, repeated or the target label")
      endif()
      list(APPEND labels "${label}")
    endforeach()

    _hotfix_array(patchLast "${p}.patches" 1 products ${i} patches)
    set(patches "")
    foreach(k RANGE ${patchLast})
      set(where "${p}.patches[${k}]")
      _hotfix_members("${where}" "file;old;new" products ${i} patches ${k})
      _hotfix_get(name STRING "${where}.file" products ${i} patches ${k} file)
      _hotfix_get(old STRING "${where}.old" products ${i} patches ${k} old)
      _hotfix_get(new STRING "${where}.new" products ${i} patches ${k} new)
      # The name is the payload's resource name (upper case, as the resource compiler stores
      # it) and the file's name in the application directory.
      if(NOT name MATCHES "^[A-Z0-9_.-]*[A-Z_][A-Z0-9_.-]*$" OR name MATCHES "^PATCH(\\.EXE|W32\\.DLL)$")
        _hotfix_fail("${where}.file \"${name}\" must be an upper-case file name (A-Z 0-9 _ . -), not the engine's")
      endif()
      if(name IN_LIST allPatches)
        _hotfix_fail("${where}.file \"${name}\" is given twice, or is another patch file's reverse")
      endif()
      if(old STREQUAL "" OR new STREQUAL "" OR old STREQUAL new)
        _hotfix_fail("${where}: old and new must name two release trees")
      endif()
      hotfix_reverse_patch_name(reverse "${name}")
      if(reverse IN_LIST allPatches)
        _hotfix_fail("${where}.file \"${name}\": its reverse patch file's name \"${reverse}\" is taken")
      endif()
      list(APPEND patches "${name}")
      list(APPEND allPatches "${name}" "${reverse}")
      set(HOTFIX_DEF_PATCH_${name}_OLD "${old}")
      set(HOTFIX_DEF_PATCH_${name}_NEW "${new}")
      set(HOTFIX_DEF_PATCH_${name}_REVERSE "${reverse}")
    endforeach()
    set(removals "")
    foreach(name IN LISTS patches)
      list(PREPEND removals "${HOTFIX_DEF_PATCH_${name}_REVERSE}")
    endforeach()

    set(HOTFIX_DEF_P${i}_EXECUTABLE "${executable}")
    set(HOTFIX_DEF_P${i}_DISPLAY_NAME "${displayName}")
    set(HOTFIX_DEF_P${i}_CODE "${code}")
    set(HOTFIX_DEF_P${i}_BASE_LABELS "${labels}")
    set(HOTFIX_DEF_P${i}_TARGET_LABEL "${target}")
    set(HOTFIX_DEF_P${i}_PATCHES "${patches}")
    set(HOTFIX_DEF_P${i}_REMOVALS "${removals}")
    set(HOTFIX_DEF_P${i}_PARENT_KEY "${parentKey}")
    list(APPEND indices ${i})
  endforeach()
  set(HOTFIX_DEF_PRODUCTS "${indices}")
  get_cmake_property(names VARIABLES)
  list(FILTER names INCLUDE REGEX "^HOTFIX_DEF_")
  foreach(name IN LISTS names)
    set(${name} "${${name}}" PARENT_SCOPE)
  endforeach()
endfunction()

macro(hotfix_resolve_release_trees default_root)
  if(HOTFIX_RELEASES)
    get_filename_component(HOTFIX_DEF_RELEASE_ROOT "${HOTFIX_RELEASES}" ABSOLUTE)
  elseif(HOTFIX_DEF_RELEASES)
    set(HOTFIX_DEF_RELEASE_ROOT "${HOTFIX_DEF_RELEASES}")
  else()
    set(HOTFIX_DEF_RELEASE_ROOT "${default_root}")
  endif()
  foreach(_hotfix_p IN LISTS HOTFIX_DEF_PRODUCTS)
    foreach(_hotfix_patch IN LISTS HOTFIX_DEF_P${_hotfix_p}_PATCHES)
      foreach(_hotfix_side OLD NEW)
        get_filename_component(HOTFIX_DEF_PATCH_${_hotfix_patch}_${_hotfix_side}_TREE
          "${HOTFIX_DEF_PATCH_${_hotfix_patch}_${_hotfix_side}}" ABSOLUTE BASE_DIR "${HOTFIX_DEF_RELEASE_ROOT}")
      endforeach()
    endforeach()
  endforeach()
endmacro()

# Text as a C++ string literal: "a\"b\\c".
function(_hotfix_cpp out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# A list of texts as C++ string literals between braces: {"a", "b"}.
function(_hotfix_cpp_list out)
  set(items "")
  foreach(text IN LISTS ARGN)
    _hotfix_cpp(literal "${text}")
    list(APPEND items "${literal}")
  endforeach()
  list(JOIN items ", " joined)
  set(${out} "{${joined}}" PARENT_SCOPE)
endfunction()

function(hotfix_write_definition_header out)
  _hotfix_cpp(documentKey "${HOTFIX_DEF_DOCUMENT_KEY}")
  _hotfix_cpp(openKey "${HOTFIX_DEF_OPEN_COMMAND_KEY}")
  _hotfix_cpp(installer "${HOTFIX_DEF_INSTALLER}")
  _hotfix_cpp(stem "${HOTFIX_DEF_INSTALLER_STEM}")
  list(JOIN HOTFIX_DEF_FILE_VERSION ", " fileVersion)
  list(JOIN HOTFIX_DEF_PRODUCT_VERSION ", " productVersion)
  set(rows "")
  set(allPatches "")
  foreach(i IN LISTS HOTFIX_DEF_PRODUCTS)
    _hotfix_cpp(executable "${HOTFIX_DEF_P${i}_EXECUTABLE}")
    _hotfix_cpp(displayName "${HOTFIX_DEF_P${i}_DISPLAY_NAME}")
    _hotfix_cpp(target "${HOTFIX_DEF_P${i}_TARGET_LABEL}")
    _hotfix_cpp_list(labels ${HOTFIX_DEF_P${i}_BASE_LABELS})
    _hotfix_cpp_list(patches ${HOTFIX_DEF_P${i}_PATCHES})
    _hotfix_cpp_list(removals ${HOTFIX_DEF_P${i}_REMOVALS})
    _hotfix_cpp(parentKey "${HOTFIX_DEF_P${i}_PARENT_KEY}")
    string(APPEND rows " \\\n    {${executable}, ${displayName}, ${HOTFIX_DEF_P${i}_CODE}, ${labels}, ${target}, ${patches}, "
                       "${removals}, ${parentKey}},")
    list(APPEND allPatches ${HOTFIX_DEF_P${i}_PATCHES} ${HOTFIX_DEF_P${i}_REMOVALS})
  endforeach()
  _hotfix_cpp_list(allPatches ${allPatches})
  set(strings "")
  math(EXPR last "${HOTFIX_DEF_STRINGS} - 1")
  foreach(i RANGE ${last})
    _hotfix_cpp(name "${HOTFIX_DEF_STRING_${i}_NAME}")
    _hotfix_cpp(value "${HOTFIX_DEF_STRING_${i}_VALUE}")
    string(APPEND strings "\n    {${name}, ${value}},")
  endforeach()
  file(CONFIGURE OUTPUT "${out}" @ONLY CONTENT [[
#pragma once
// The facts of the hotfix being built, from its definition @HOTFIX_DEF_FILE@
// (written by cmake/hotfix_definition.cmake at configuration: edit the definition, not this).

// Under HKEY_CLASSES_ROOT: the document type, and the key whose default value is its open command.
#define HOTFIX_DOCUMENT_TYPE_KEY @documentKey@
#define HOTFIX_DOCUMENT_OPEN_COMMAND_KEY @openKey@

// The product catalogue's rows, in order, as initialisers of hotfix::ProductEntry:
// {executable, display name, product code, {base labels}, target label, {patch files},
//  {reverse patch files, in removal order}, the product's own uninstall key ("": none)}.
#define HOTFIX_CATALOGUE_ROWS@rows@

namespace hotfix::definition {

// The installer's file name, and its caption (the name without ".exe").
inline constexpr char kInstallerFileName[] = @installer@;
inline constexpr char kInstallerCaption[] = @stem@;

// Its version block: the fixed part, the one translation, and the strings in their order.
inline constexpr unsigned kFileVersion[4] = {@fileVersion@};
inline constexpr unsigned kProductVersion[4] = {@productVersion@};
inline constexpr unsigned kLanguage = @HOTFIX_DEF_LANGUAGE@;
inline constexpr unsigned kCodePage = @HOTFIX_DEF_CODE_PAGE@;
struct VersionString {
    const char* name;
    const char* value;
};
inline constexpr VersionString kVersionStrings[] = {@strings@
};

// Every product's patch files and their reverse ones, in row order: the payload beside the
// engine pair.
inline constexpr const char* kPatchFiles[] = @allPatches@;

} // namespace hotfix::definition
]])
endfunction()

# Text as a single-quoted shell word.
function(_hotfix_sh out text)
  string(REPLACE "'" "'\\''" text "${text}")
  set(${out} "'${text}'" PARENT_SCOPE)
endfunction()

# The file version inside a label: "7.22 (7.22.24188.12)" -> "7.22.24188.12".
function(_hotfix_label_version out label)
  if(NOT label MATCHES "\\(([^()]+)\\)$")
    _hotfix_fail("label \"${label}\" does not end in a file version in parentheses")
  endif()
  set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

function(hotfix_write_definition_script out)
  set(_hotfix_file "${HOTFIX_DEF_FILE}")
  _hotfix_sh(installer "${HOTFIX_DEF_INSTALLER}")
  _hotfix_sh(openKey "${HOTFIX_DEF_OPEN_COMMAND_KEY}")
  set(description "")
  math(EXPR last "${HOTFIX_DEF_STRINGS} - 1")
  foreach(i RANGE ${last})
    if(HOTFIX_DEF_STRING_${i}_NAME STREQUAL "FileDescription")
      set(description "${HOTFIX_DEF_STRING_${i}_VALUE}")
    endif()
  endforeach()
  _hotfix_sh(description "${description}")
  set(rows "")
  foreach(i IN LISTS HOTFIX_DEF_PRODUCTS)
    string(REGEX REPLACE "\\.[Ee][Xx][Ee]$" "" name "${HOTFIX_DEF_P${i}_EXECUTABLE}")
    list(GET HOTFIX_DEF_P${i}_BASE_LABELS 0 base)
    _hotfix_label_version(base "${base}")
    _hotfix_label_version(target "${HOTFIX_DEF_P${i}_TARGET_LABEL}")
    set(patches ${HOTFIX_DEF_P${i}_PATCHES})
    list(GET patches 0 first)
    list(GET patches -1 final)
    set(row "${name}|${HOTFIX_DEF_P${i}_DISPLAY_NAME}|${base}|${HOTFIX_DEF_PATCH_${first}_OLD_TREE}")
    string(APPEND row "|${target}|${HOTFIX_DEF_PATCH_${final}_NEW_TREE}")
    string(APPEND rows "${row}\n")
  endforeach()
  _hotfix_sh(rows "${rows}")
  file(CONFIGURE OUTPUT "${out}" @ONLY CONTENT [[
# The facts of the hotfix being built, for the scripts (scripts/demo.sh, make-dist.sh, sign.sh),
# from its definition @HOTFIX_DEF_FILE@ (written by cmake/hotfix_definition.cmake).
hotfix_installer=@installer@
hotfix_description=@description@
hotfix_open_command_key=@openKey@
# One line per product, in catalogue order:
# name (executable without .exe)|display name|first base version|its release tree|target version|its release tree
hotfix_products=@rows@
]])
endfunction()
