# The fuzz build leaves the tools out, so the reader's sources are built
# into the target itself.
file(GLOB reader_sources ${CMAKE_SOURCE_DIR}/tools/journal-reader/*.cpp)
list(FILTER reader_sources EXCLUDE REGEX "/main\\.cpp$")
target_sources(${name} PRIVATE ${reader_sources}
  ${CMAKE_SOURCE_DIR}/tools/cp1251_text/cp1251_text.cpp
  ${CMAKE_SOURCE_DIR}/tools/cp1251_text/shown_text.cpp
  ${CMAKE_SOURCE_DIR}/tools/accessbase/csv.cpp
  ${CMAKE_SOURCE_DIR}/tools/accessbase/iso_time.cpp)
