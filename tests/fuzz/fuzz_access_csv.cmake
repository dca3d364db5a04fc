# The fuzz build leaves the tools out, so the editor's sources are built
# into the target itself.
target_sources(${name} PRIVATE
  ${CMAKE_SOURCE_DIR}/tools/accessbase/access_edit.cpp
  ${CMAKE_SOURCE_DIR}/tools/accessbase/access_entry.cpp
  ${CMAKE_SOURCE_DIR}/tools/accessbase/csv.cpp
  ${CMAKE_SOURCE_DIR}/tools/accessbase/iso_time.cpp
  ${CMAKE_SOURCE_DIR}/tools/cp1251_text/cp1251_text.cpp)
