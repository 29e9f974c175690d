#include "platform/egl/egl_context.h"
#include "platform/headless_gl.h"

namespace platform {

struct HeadlessGl::Impl {
    EglContext context;
};

HeadlessGl::HeadlessGl() : impl_(std::make_unique<Impl>()) {}
HeadlessGl::~HeadlessGl() = default;

bool HeadlessGl::Create(int width, int height) { return impl_->context.Create(width, height); }
const std::string& HeadlessGl::Reason() const { return impl_->context.Reason(); }
std::vector<std::uint8_t> HeadlessGl::ReadPixels(int x, int y, int width, int height) {
    return impl_->context.ReadPixels(x, y, width, height);
}
void* HeadlessGl::ProcAddress(const char* name) { return EglContext::ProcAddress(name); }

}  // namespace platform
