# The cross compiler does not search /usr/include: Debian's header-only
# tinygltf and nlohmann-json are staged in the build beside stb, and
# tinygltf's implementation is compiled here (on Linux it is Debian's
# shared library).
find_package(OpenGL REQUIRED)
find_path(WV_TINYGLTF_DIR tiny_gltf.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(WV_JSON_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(COPY ${WV_TINYGLTF_DIR}/tiny_gltf.h DESTINATION ${CMAKE_BINARY_DIR}/staged)
file(COPY ${WV_JSON_DIR}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/staged)

add_library(wildview_json INTERFACE)
target_include_directories(wildview_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/staged)
add_library(nlohmann_json::nlohmann_json ALIAS wildview_json)

add_library(wildview_tinygltf STATIC src/output/tinygltf_implementation.cpp)
target_link_libraries(wildview_tinygltf PUBLIC wildview_json)
# The export hands it finished images and writes through streams: neither
# stb's reader nor its writer is needed, and every user must agree on it.
target_compile_definitions(wildview_tinygltf PUBLIC TINYGLTF_NO_STB_IMAGE TINYGLTF_NO_STB_IMAGE_WRITE)
# Its own warnings are not ours.
target_compile_options(wildview_tinygltf PRIVATE -w)
add_library(TinyGLTF::TinyGLTF ALIAS wildview_tinygltf)
