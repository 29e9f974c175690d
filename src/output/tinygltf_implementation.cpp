// tinygltf's implementation, for systems without Debian's build of it
// (built without stb: see the build's staging).
#define TINYGLTF_IMPLEMENTATION
#include <nlohmann/json.hpp>
#include <tiny_gltf.h>
