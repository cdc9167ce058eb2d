# lumetra_test_bed: the process fixtures that need no test framework (broker, far
# side, the whole far side with an installation, free ports, program runs, platconf
# files). The tests' support library builds on it and the benchmarks link it, so it is
# defined by whichever of them comes first, also in a build without tests.
set(test_bed_sources FarsideBed.cpp FarsideProcess.cpp FreePort.cpp MosquittoBroker.cpp PlatconfBuilder.cpp
                     ProgramRun.cpp ToolProcess.cpp)
list(TRANSFORM test_bed_sources PREPEND ${PROJECT_SOURCE_DIR}/tests/support/)
if(NOT TARGET lumetra_test_bed)
  add_library(lumetra_test_bed STATIC ${test_bed_sources})
  target_include_directories(lumetra_test_bed PUBLIC ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(lumetra_test_bed PUBLIC lumetra_app Qt6::Core Qt6::Network PkgConfig::MOSQ)
  target_compile_definitions(lumetra_test_bed PRIVATE
    LUMETRA_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}"
    LUMETRA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(lumetra_test_bed lumetra-cli lumetra-farside lumetra-vcom)
endif()
