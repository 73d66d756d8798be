# Builds the Windows Installer package of telmar-setup with wixl (Debian's msitools):
#   cmake -DPROGRAM=<telmar-setup.exe> -DVERSION=<x.y.z> -DOUTPUT=<file.msi> -P make-package.cmake
# The ProductCode is derived from the version (the same version, the same code; another
# version, another code), under one fixed UpgradeCode, so that a later version replaces an
# earlier one. wixl gives each build a new package code and time stamps: two builds of the same
# sources hold the same tables, not the same bytes. The package is signed when a certificate is
# named (see sign.sh).
foreach(variable PROGRAM VERSION OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "make-package.cmake: ${variable} is not set")
  endif()
endforeach()
find_program(WIXL wixl)
find_program(MSIBUILD msibuild)
if(NOT WIXL OR NOT MSIBUILD)
  message(FATAL_ERROR "wixl and msibuild (Debian's wixl and msitools) are needed: scripts/install-deps.sh windows")
endif()

set(UPGRADE_CODE "6E1D2C9B-5A47-4B8E-9F30-7C2A1E4D8B50")
string(UUID PRODUCT_CODE NAMESPACE ${UPGRADE_CODE} NAME "telmar-setup ${VERSION}" TYPE SHA1 UPPER)
# wixl takes the files from the source's folder, by relative names.
set(stage ${OUTPUT}.source)
file(REMOVE_RECURSE ${stage})
file(COPY ${PROGRAM} DESTINATION ${stage})
get_filename_component(PROGRAM ${PROGRAM} NAME)
set(source ${stage}/telmar-setup.wxs)
configure_file(${CMAKE_CURRENT_LIST_DIR}/telmar-setup.wxs.in ${source} @ONLY)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGV0} failed (${status}): ${output}")
  endif()
endfunction()
file(REMOVE ${OUTPUT})
run(${WIXL} --arch x86 -o ${OUTPUT} ${source})
# What wixl cannot say in its source: a component condition, and the public properties that
# must reach the installation's server side when an administrator gives them.
# (Quoted in the call itself: a semicolon would split a list passed through run.)
execute_process(COMMAND ${MSIBUILD} ${OUTPUT}
  -q "UPDATE Component SET Condition = 'TRACEFILE' WHERE Component = 'TraceFileSetting'"
  -q "UPDATE Component SET Condition = 'SERIALSERVICES' WHERE Component = 'SerialServicesSetting'"
  -q "UPDATE Property SET Value = 'SERIALSERVICES;TRACEFILE;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties'"
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "msibuild failed (${status}): ${output}")
endif()
run(bash ${CMAKE_CURRENT_LIST_DIR}/sign.sh ${OUTPUT})
file(REMOVE_RECURSE ${stage})
