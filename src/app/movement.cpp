#include "app/movement.h"

#include <utility>

#include "math/camera.h"
#include "platform/platform.h"

void ApplyKeyboardMovement(Camera& camera, const std::array<bool, 256>& keys, float moveSpeed, float frameTime) {
    const CameraVectors b = CameraBasis(camera);
    const float dt = frameTime <= 0.1f ? frameTime : 0.1f;
    const float step = moveSpeed * dt;
    struct Move {
        int key;
        const Vector3& along;
        float factor;
    };
    const Move moves[] = {
        {'W', b.forward, step}, {'S', b.forward, -step}, {'X', b.forward, -step}, {'A', b.right, -(step * 0.6f)},
        {'D', b.right, step * 0.6f}, {platform::vk::kSpace, b.up, step}, {'Q', b.up, step}, {'Z', b.up, -step},
    };
    for (const Move& m : moves)
        if (keys[static_cast<std::size_t>(m.key)]) camera.position += m.along * m.factor;
}

float ApplySpeedKeys(const std::array<bool, 256>& keys, float moveSpeed) {
    static constexpr std::pair<int, float> kSpeeds[] = {
        {'1', 0.33f}, {'2', 1.0f}, {'3', 3.3f}, {'4', 10.0f}, {'5', 33.0f}, {'6', 200.0f}};
    for (const auto& [key, speed] : kSpeeds)
        if (keys[static_cast<std::size_t>(key)]) moveSpeed = speed;
    return moveSpeed;
}

bool QuitChordPressed() {
    platform::Platform& pf = platform::Current();
    // Alt's pressed-since bit is read only when F4 is down, as it is consumed.
    return pf.KeyDownNow(platform::vk::kF4) && pf.KeyPressedSinceLastQuery(platform::vk::kMenu);
}

