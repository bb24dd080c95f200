# The package a user unpacks and runs: one top folder holding the program,
# its plug-ins beside it and in DLL (the C++ runtime DLLs too on Windows),
# a sample signal, a README, the licence and the changelog, binaries
# stripped. `package` makes Pellory-VERSION-win64.zip, -win32.zip,
# -linux-x86_64.tar.gz or -linux-aarch64.tar.gz (the processor as `uname
# -m` names it), the same bytes from the same commit wherever it is built.
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(PELLORY_PLATFORM win64)
    set(README_PLATFORM "64-bit Windows")
  else()
    set(PELLORY_PLATFORM win32)
    set(README_PLATFORM "32-bit Windows")
  endif()
  # The runtime DLLs, and the notices their licences ask to travel with
  # them.
  set(PELLORY_PACKAGE_FILES ${PELLORY_RUNTIME_DLLS}
    ${CMAKE_SOURCE_DIR}/data/THIRD-PARTY-NOTICES.txt)
  set(PELLORY_PACKAGE_SUFFIX .zip)
  set(PELLORY_TEXT_LINES --crlf)
  set(PELLORY_STRIPPED_RUNTIME)
  foreach(runtime ${PELLORY_RUNTIME_DLL_NAMES})
    list(APPEND PELLORY_STRIPPED_RUNTIME PACKAGE_FOLDER/${runtime})
  endforeach()
  set(README_START "Pellory.exe")
  set(README_EXTRAS "Beside them: the C++ runtime DLLs the program and its plug-ins share,\nlibsndfile and its codecs' DLLs (audio files), and\nTHIRD-PARTY-NOTICES.txt, their licences and where their source is.")
  set(README_END "Ctrl-Z then Enter (end of input) or Ctrl-C")
  set(README_NEEDS "nothing beyond Windows: the C++ runtime and libsndfile DLLs\nit uses are beside it.")
  set(README_CHECK "certutil -hashfile Pellory-${PROJECT_VERSION}-${PELLORY_PLATFORM}.zip SHA256")
  set(README_CHECK_NOTE "\nand compare the hash it prints with the archive's line in SHA256SUMS\n(where sha256sum is at hand: sha256sum -c --ignore-missing SHA256SUMS).")
else()
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    set(PELLORY_PLATFORM linux-aarch64)
  else()
    set(PELLORY_PLATFORM linux-${CMAKE_SYSTEM_PROCESSOR})
  endif()
  set(PELLORY_PACKAGE_FILES ${CMAKE_SOURCE_DIR}/docs/Pellory.1)
  set(PELLORY_PACKAGE_SUFFIX .tar.gz)
  set(PELLORY_TEXT_LINES)
  set(PELLORY_STRIPPED_RUNTIME)
  foreach(runtime ${PELLORY_RUNTIME_LIB_NAMES})
    list(APPEND PELLORY_STRIPPED_RUNTIME PACKAGE_FOLDER/${runtime})
  endforeach()
  string(REPLACE "linux-" "Linux on " README_PLATFORM ${PELLORY_PLATFORM})
  set(README_START "./Pellory")
  set(README_END "Ctrl-D (end of input) or Ctrl-C")
  set(README_EXTRAS "Beside them: the manual page Pellory.1 (man -l Pellory.1).")
  if(PELLORY_SHIP_RUNTIME)
    # The C++ runtime, and the notices its licence asks to travel with it.
    list(APPEND PELLORY_PACKAGE_FILES ${PELLORY_RUNTIME_LIBS}
      ${CMAKE_SOURCE_DIR}/data/THIRD-PARTY-NOTICES.txt)
    set(README_EXTRAS "Beside them: the manual page Pellory.1 (man -l Pellory.1), the C++\nruntime the program and its plug-ins share (libstdc++.so.6,\nlibgcc_s.so.1), libsndfile and its codecs (audio files), and\nTHIRD-PARTY-NOTICES.txt, their licences and where their source is.")
    set(README_NEEDS "the C library of Debian 11 or a later system: glibc\n2.31 or later (Debian 11, Ubuntu 20.04, RHEL 9, Fedora 35 and their\nsuccessors). The C++ runtime and libsndfile it uses are beside it.")
  else()
    set(README_NEEDS "the C and C++ runtime and libsndfile of the system it was built\non (a development build).")
  endif()
  set(README_CHECK "sha256sum -c --ignore-missing SHA256SUMS")
  set(README_CHECK_NOTE "")
endif()
set(PELLORY_PACKAGE_NAME Pellory-${PROJECT_VERSION}-${PELLORY_PLATFORM})
set(PELLORY_PACKAGE ${CMAKE_BINARY_DIR}/package/${PELLORY_PACKAGE_NAME})
list(TRANSFORM PELLORY_STRIPPED_RUNTIME REPLACE PACKAGE_FOLDER ${PELLORY_PACKAGE})
configure_file(data/README.txt.in ${CMAKE_BINARY_DIR}/README.txt @ONLY)

# The archive's dates: the commit's time, unless the builder says another.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(PELLORY_SOURCE_DATE $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE PELLORY_SOURCE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
  if(NOT PELLORY_SOURCE_DATE)
    set(PELLORY_SOURCE_DATE 315532800)
  endif()
endif()

set(PELLORY_PLUGIN_FILES $<TARGET_FILE:Mirrowen> $<TARGET_FILE:Quillet>
  $<TARGET_FILE:Tarrock>)
add_custom_target(package
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/package
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PELLORY_PACKAGE}/DLL
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Pellory> ${PELLORY_PLUGIN_FILES}
    ${PELLORY_PACKAGE_FILES} ${CMAKE_SOURCE_DIR}/data/sample.txt
    ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_SOURCE_DIR}/LICENSE
    ${CMAKE_SOURCE_DIR}/CHANGELOG.md ${PELLORY_PACKAGE}
  # Windows's strip dates what it writes: the commit's time.
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${PELLORY_SOURCE_DATE}
    ${CMAKE_STRIP} --strip-unneeded ${PELLORY_PACKAGE}/$<TARGET_FILE_NAME:Pellory>
    ${PELLORY_PACKAGE}/Mirrowen.dll ${PELLORY_PACKAGE}/Quillet.dll
    ${PELLORY_PACKAGE}/Tarrock.dll ${PELLORY_STRIPPED_RUNTIME}
  COMMAND ${CMAKE_COMMAND} -E copy ${PELLORY_PACKAGE}/Mirrowen.dll
    ${PELLORY_PACKAGE}/Quillet.dll ${PELLORY_PACKAGE}/Tarrock.dll
    ${PELLORY_PACKAGE}/DLL
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${PELLORY_SOURCE_DATE}
    python3 ${CMAKE_SOURCE_DIR}/scripts/make-archive.py ${PELLORY_PACKAGE}
    ${CMAKE_BINARY_DIR}/${PELLORY_PACKAGE_NAME}${PELLORY_PACKAGE_SUFFIX}
    ${PELLORY_TEXT_LINES}
  COMMAND ${CMAKE_COMMAND} -E echo
    "Package: ${CMAKE_BINARY_DIR}/${PELLORY_PACKAGE_NAME}${PELLORY_PACKAGE_SUFFIX} (unpacked in ${PELLORY_PACKAGE})"
  DEPENDS Pellory Mirrowen Quillet Tarrock
  VERBATIM)
