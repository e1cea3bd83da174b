# CLI11 and nlohmann/json are header-only libraries from Debian's packages
# (libcli11-dev, nlohmann-json3-dev). A Windows cross build must not see the
# host's /usr/include, so their folders are copied into the build tree and
# only those copies go on the include path, for every build alike.
set(CALIBRATE_HEADER_ROOT /usr/include CACHE PATH "Where CLI/ and nlohmann/ are found")
set(calibrate_header_copy ${CMAKE_BINARY_DIR}/header-only)
foreach(dir CLI nlohmann)
  if(NOT EXISTS ${CALIBRATE_HEADER_ROOT}/${dir})
    message(FATAL_ERROR "${CALIBRATE_HEADER_ROOT}/${dir} is missing: "
                        "apt-get install libcli11-dev nlohmann-json3-dev")
  endif()
  file(COPY ${CALIBRATE_HEADER_ROOT}/${dir} DESTINATION ${calibrate_header_copy})
endforeach()
add_library(calibrate_headeronly INTERFACE)
target_include_directories(calibrate_headeronly SYSTEM INTERFACE ${calibrate_header_copy})
