# TurboJPEG encodes the same planes as a check independent of our encoder.
# Only its shared library keeps its own copy of the codec to itself, so the
# check is left out where there is none (the board's cross build).
if(NOT TARGET independent_jpeg)
  add_library(independent_jpeg INTERFACE)
  find_path(INDEPENDENT_JPEG_INCLUDE turbojpeg.h)
  find_library(INDEPENDENT_JPEG_LIBRARY NAMES libturbojpeg.so turbojpeg)
  if(NOT CMAKE_CROSSCOMPILING AND INDEPENDENT_JPEG_INCLUDE AND INDEPENDENT_JPEG_LIBRARY)
    target_include_directories(independent_jpeg INTERFACE ${INDEPENDENT_JPEG_INCLUDE})
    target_link_libraries(independent_jpeg INTERFACE ${INDEPENDENT_JPEG_LIBRARY})
    target_compile_definitions(independent_jpeg INTERFACE DRAVEL_HAVE_TURBOJPEG=1)
  endif()
endif()
set(AREA_LIBS independent_jpeg)
list(APPEND AREA_LIBS golden_file)
