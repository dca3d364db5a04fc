# The fuzz build leaves the tools out, so the editor's sources and the
# text helpers the tools share are built into the target itself.
file(GLOB editor_sources ${CMAKE_SOURCE_DIR}/tools/accessbase/*.cpp
  ${CMAKE_SOURCE_DIR}/tools/cp1251_text/*.cpp)
list(FILTER editor_sources EXCLUDE REGEX "/main\\.cpp$")
target_sources(${name} PRIVATE ${editor_sources})
