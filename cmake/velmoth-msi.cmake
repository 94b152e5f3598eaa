# Builds Velmoth's MSI with wixl from packaging/windows/velmoth.wxs, then adds what
# wixl cannot write: the install folder on the system PATH while the command is
# installed, the event source's message file as REG_EXPAND_SZ and its key gone
# with the uninstall, and the replacement of an installed build of the same version.
# cmake -DWIXL= -DMSIBUILD= -DWXS= -DFILES= -DICON= -DVERSION= -DFULL_VERSION= -DOUTPUT= -P
cmake_minimum_required(VERSION 3.25)

# wixl takes only relative paths: from the folder above FILES.
get_filename_component(base ${FILES} DIRECTORY)
get_filename_component(files ${FILES} NAME)
file(RELATIVE_PATH icon ${base} ${ICON})
execute_process(COMMAND ${WIXL} --arch x64 --define Version=${VERSION}
                        --define FullVersion=${FULL_VERSION} --define Files=${files}
                        --define Icon=${icon} --output ${OUTPUT} ${WXS}
                WORKING_DIRECTORY ${base} COMMAND_ERROR_IS_FATAL ANY)

file(READ ${WXS} wxs)
string(REGEX MATCH "UpgradeCode=\"([^\"]+)\"" _ "${wxs}")
set(upgrade_code "{${CMAKE_MATCH_1}}")

# Each query alone: msibuild runs one query a call.
function(msi_query query)
  execute_process(COMMAND ${MSIBUILD} ${OUTPUT} -q "${query}" COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# Appended to the system PATH ("=" set, "*" system) and taken out again when the
# command's component goes ("-"); [~] keeps what PATH held before.
msi_query("CREATE TABLE `Environment` (`Environment` CHAR(72) NOT NULL, \
`Name` CHAR(255) NOT NULL LOCALIZABLE, `Value` CHAR(255) LOCALIZABLE, \
`Component_` CHAR(72) NOT NULL PRIMARY KEY `Environment`)")
msi_query("INSERT INTO `Environment` (`Environment`, `Name`, `Value`, `Component_`) \
VALUES ('Path', '=-*PATH', '[~];[INSTALLDIR]', 'Command')")
msi_query("INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) \
VALUES ('RemoveEnvironmentStrings', 3300)")
msi_query("INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) \
VALUES ('WriteEnvironmentStrings', 5200)")

# The event source's message file, which wixl writes as REG_SZ (its "#%" prefix
# says REG_EXPAND_SZ), and the whole key taken away ("-") with velmoth.exe's component.
set(event_source "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Velmoth")
msi_query("UPDATE `Registry` SET `Value` = '#%[INSTALLDIR]velmoth.exe' \
WHERE `Name` = 'EventMessageFile'")
msi_query("INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) \
VALUES ('EventSourceKey', 2, '${event_source}', '-', 'Window')")

# MajorUpgrade finds older versions up to this one, not including it; 513 adds
# this version itself (512) to the migration of features (1).
msi_query("DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'")
msi_query("INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) \
VALUES ('${upgrade_code}', '${VERSION}', 513, 'WIX_UPGRADE_DETECTED')")
