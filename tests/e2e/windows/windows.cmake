# End-to-end tests of the Windows program under wine and Xvfb (see lib.sh): the installer of this
# build, the installed program driven with xdotool, the uninstaller. They need the installer
# (target larkspan_setup) and the Linux build's e2e-make-pdf, ocr-pages and adapters
# (scripts/windows/test.sh builds all of them). One at a time: they share the wine prefix's
# Program Files and registry. Each entry: name, script, time limit in seconds. Setup unpacks some
# 66 MB and wine is slow on a busy machine: a silent install takes about 10 s on an idle one and
# several times that under load, which the limits of the tests that install more than once allow
# for; recognition under wine takes seconds a page.
foreach(entry
    "Windows.InstallerSetsUpStartsGuardsAndUninstallsCleanly=install_start_uninstall.sh=180"
    "Windows.InstalledProgramConvertsAPdfLikeTheLinuxOne=installed_conversion.sh=180"
    "Windows.InstalledProgramRecognisesScannedPagesLikeTheLinuxOne=installed_recognition.sh=480"
    "Windows.UpgradeAfterACustomFolderInstallStaysThere=upgrade_custom_folder.sh=420"
    "Windows.UninstallAndSetupRefuseWhileTheProgramRuns=refused_while_running.sh=300"
    "Windows.SilentUninstallHasRemovedEverythingWhenItReturns=silent_uninstall.sh=300")
  string(REPLACE "=" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 script)
  list(GET entry 2 limit)
  add_test(NAME e2e.${name} COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/${script} ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e.${name} PROPERTIES LABELS e2e RUN_SERIAL TRUE TIMEOUT ${limit})
endforeach()
# Six pages recognised under wine, two of them again by the Linux program to compare with: about
# a minute on an idle machine, several times that on a busy one.
set_tests_properties(e2e.Windows.InstalledProgramRecognisesScannedPagesLikeTheLinuxOne
  PROPERTIES TIMEOUT 480)
