# Reads the resources of the built Heftmark.exe back under Wine.
add_executable(resources_test ${CMAKE_CURRENT_LIST_DIR}/resources_test.cpp)
target_compile_options(resources_test PRIVATE ${HEFT_WARNINGS})
# Its own main: it takes the exe's path after the gtest flags.
target_link_libraries(resources_test PRIVATE GTest::gtest version)
target_link_options(resources_test PRIVATE ${HEFT_LINK})
if(TARGET Heftmark)
  add_dependencies(resources_test Heftmark)
endif()
heft_wine_test(resources_test resources_test ${HEFT_DIST_DIR}/Heftmark.exe)
