# vantrel_e2e_tests: vantrel.exe driven from outside as a user would, against
# simcad serving a scenario; run under Wine by ctest. Included at the end of
# tests/e2e/CMakeLists.txt.
if(TARGET vantrel AND TARGET simcad AND TARGET vantrel_ui_driver)
  file(GLOB vantrel_e2e_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/e2e_*.cpp)
  add_executable(vantrel_e2e_tests ${vantrel_e2e_sources})
  target_include_directories(vantrel_e2e_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/tools/simcad
                                                       ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(vantrel_e2e_tests PRIVATE vantrel_ui_driver vantrel_core vantrel_warnings ${vantrel_gtest_main})
  set(vantrel_e2e_work_dir ${CMAKE_CURRENT_BINARY_DIR}/e2e-work)
  file(MAKE_DIRECTORY ${vantrel_e2e_work_dir})
  target_compile_definitions(vantrel_e2e_tests PRIVATE
    VANTREL_EXE="$<TARGET_FILE:vantrel>"
    VANTREL_SIMCAD_EXE="$<TARGET_FILE:simcad>"
    VANTREL_E2E_WORK_DIR="${vantrel_e2e_work_dir}"
    VANTREL_SAMPLE_SHEET="${PROJECT_SOURCE_DIR}/tools/simcad/sample-sheet.txt")
  add_dependencies(vantrel_e2e_tests vantrel simcad)
  add_test(NAME vantrel_e2e_tests COMMAND vantrel_e2e_tests)
  set_tests_properties(vantrel_e2e_tests PROPERTIES TIMEOUT 400)

  # A screenshot of the window against simcad's sample sheet, for a person to look at.
  if(CMAKE_HOST_UNIX)
    add_test(NAME vantrel_e2e_screenshot
             COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/demo --screenshot-only --build-dir ${CMAKE_BINARY_DIR}
                     --screenshot ${CMAKE_BINARY_DIR}/artifacts/window.png)
    set_tests_properties(vantrel_e2e_screenshot PROPERTIES TIMEOUT 300)
  endif()
endif()
