# The Windows packages (packaging/build-packages): built once as a fixture, then
# the zip checked and the installer taken through install, run and uninstall
# under Wine. They need the three programs and, for the relay's check, the test
# winmm.dll.
if(TARGET vorlanx AND TARGET vxcat AND TARGET vxmidi AND TARGET winmm_double)
  set(package_dir ${PROJECT_BINARY_DIR}/package)
  set(package_scripts ${CMAKE_CURRENT_LIST_DIR}/package)
  add_test(NAME package.build
           COMMAND bash ${VORLANX_ROOT}/packaging/build-packages ${PROJECT_BINARY_DIR})
  add_test(NAME package.zip
           COMMAND bash ${package_scripts}/zip.sh ${package_dir} ${VORLANX_ROOT}/scripts/wine-run)
  # A fresh prefix of its own: booting it is most of the time.
  add_test(NAME package.install
           COMMAND bash ${package_scripts}/install.sh ${package_dir} $<TARGET_FILE:winmm_double>
                   ${VORLANX_ROOT}/scripts/wine-session)
  set_tests_properties(package.build PROPERTIES LABELS windows TIMEOUT 120
                       FIXTURES_SETUP windows_packages)
  set_tests_properties(package.zip PROPERTIES LABELS windows TIMEOUT 120
                       FIXTURES_REQUIRED windows_packages)
  set_tests_properties(package.install PROPERTIES LABELS windows TIMEOUT 300
                       FIXTURES_REQUIRED windows_packages)
else()
  message(STATUS "Windows package tests need vorlanx, vxcat, vxmidi and winmm_double: not added")
endif()
