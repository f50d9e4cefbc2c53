# vantrel_e2e_tests: vantrel.exe driven from outside as a user would, against
# simcad serving a scenario; run under Wine by ctest. Included at the end of
# tests/e2e/CMakeLists.txt.
if(TARGET vantrel AND TARGET simcad AND TARGET vantrel_ui_driver)
  file(GLOB vantrel_e2e_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/e2e_*.cpp)
  vantrel_add_driving_test(vantrel_e2e_tests ${vantrel_e2e_sources})
  set_tests_properties(vantrel_e2e_tests PROPERTIES TIMEOUT 400 FIXTURES_REQUIRED vantrel_wine)

  # A screenshot of the window against simcad's sample sheet, for a person to look at.
  if(CMAKE_HOST_UNIX)
    add_test(NAME vantrel_e2e_screenshot
             COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/demo --screenshot-only --build-dir ${CMAKE_BINARY_DIR}
                     --screenshot ${CMAKE_BINARY_DIR}/artifacts/window.png)
    set_tests_properties(vantrel_e2e_screenshot PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED vantrel_wine)
  endif()
endif()
