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
# What wixl cannot say in its source, added with msibuild's SQL (each query quoted in the call
# itself: a semicolon would split a list passed through run):
#  - the components' conditions, asked again on a repair (transitive: 0x40, beside the
#    registry key path, 0x4), so that a TRACEFILE or SERIALSERVICES given then is applied;
#  - the secure public properties, which must reach the installation's server side when an
#    administrator gives them, added to the ones wixl declares;
#  - the search for the access manager's data folder that the launch condition asks for;
#  - the program's 8.3 name and its folder's, and its version and language (a versioned file);
#  - the event source's message file as an expandable string (wixl writes a plain one), and its
#    key removed whole with the package (the name "-"), so that no event is reported without
#    its messages;
#  - the earlier version's removal inside the installation's transaction, right after
#    InstallInitialize, so that an upgrade whose run fails rolls back to the earlier version
#    (before InstallInitialize, the earlier version's removal would be done and kept).
execute_process(COMMAND msiinfo export ${OUTPUT} Property OUTPUT_VARIABLE properties)
string(REGEX MATCH "SecureCustomProperties\t([^\r\n]*)" secure "${properties}")
set(secure "${CMAKE_MATCH_1}")
if(secure STREQUAL "")
  message(FATAL_ERROR "wixl declared no SecureCustomProperties to extend")
endif()
execute_process(COMMAND ${MSIBUILD} ${OUTPUT}
  -q "UPDATE Component SET Condition = 'TRACEFILE', Attributes = 68 WHERE Component = 'TraceFileSetting'"
  -q "UPDATE Component SET Condition = 'SERIALSERVICES', Attributes = 68 WHERE Component = 'SerialServicesSetting'"
  -q "UPDATE Property SET Value = '${secure};SERIALSERVICES;TRACEFILE' WHERE Property = 'SecureCustomProperties'"
  -q "CREATE TABLE `DrLocator` (`Signature_` CHAR(72) NOT NULL, `Parent` CHAR(72), `Path` CHAR(255), `Depth` SHORT PRIMARY KEY `Signature_`, `Parent`, `Path`)"
  -q "INSERT INTO `DrLocator` (`Signature_`, `Path`, `Depth`) VALUES ('DataFolderSearch', '[CommonAppDataFolder]velmora\\telmarv3', 0)"
  -q "INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('DATAFOLDER', 'DataFolderSearch')"
  -q "UPDATE File SET FileName = 'TELMAR~1.EXE|telmar-setup.exe', Version = '${VERSION}.0', Language = '1033' WHERE File = 'TelmarSetupExe'"
  -q "DELETE FROM MsiFileHash WHERE File_ = 'TelmarSetupExe'"
  -q "UPDATE Directory SET DefaultDir = 'TELMAR~1|telmar-setup' WHERE Directory = 'INSTALLFOLDER'"
  -q "UPDATE InstallExecuteSequence SET Sequence = 1501 WHERE Action = 'RemoveExistingProducts'"
  -q "UPDATE Registry SET Value = '#%[#TelmarSetupExe]' WHERE Name = 'EventMessageFile'"
  -q "INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) VALUES ('EventSourceKey', 2, 'SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\telmar-setup', '-', 'EventSource')"
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "msibuild failed (${status}): ${output}")
endif()
run(bash ${CMAKE_CURRENT_LIST_DIR}/sign.sh ${OUTPUT})
file(REMOVE_RECURSE ${stage})
