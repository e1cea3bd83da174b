# nlohmann/json, header-only, as the target nlohmann_json::nlohmann_json.
# A cross build must not put the build machine's /usr/include on its include
# path (the build machine's C library would shadow the target's), so there it
# gets a folder in the build tree that holds the library's headers alone.
if(TARGET nlohmann_json::nlohmann_json)
  return()
endif()
if(NOT CMAKE_CROSSCOMPILING)
  find_package(nlohmann_json 3.2 REQUIRED)
  return()
endif()
find_path(CALIBRATE_JSON_HEADERS nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          NO_DEFAULT_PATH REQUIRED)
set(json_dir ${CMAKE_BINARY_DIR}/nlohmann-json)
file(COPY ${CALIBRATE_JSON_HEADERS}/nlohmann DESTINATION ${json_dir})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${json_dir})
