#include "scene/Quaternion.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double kPi = 3.141592653589793;

void identity(float q[4]) {
    q[0] = q[1] = q[2] = 0.0f;
    q[3] = 1.0f;
}

}  // namespace

Quaternion::Quaternion() {
    identity(current);
    identity(scratch1);
    identity(scratch2);
    identity(normalised);
    std::memcpy(saved, current, sizeof saved);
}

void Quaternion::setIdentity() { identity(current); }

void Quaternion::set(float x, float y, float z, float w) {
    current[0] = x;
    current[1] = y;
    current[2] = z;
    current[3] = w;
}

void Quaternion::Multiply(const float p[4], const float q[4], float out[4]) {
    float r[4];
    r[0] = p[3] * q[0] + p[0] * q[3] + p[1] * q[2] - p[2] * q[1];
    r[1] = p[3] * q[1] + p[1] * q[3] + p[2] * q[0] - p[0] * q[2];
    r[2] = p[3] * q[2] + p[2] * q[3] + p[0] * q[1] - p[1] * q[0];
    r[3] = p[3] * q[3] - p[0] * q[0] - p[1] * q[1] - p[2] * q[2];
    std::memcpy(out, r, sizeof r);
}

void Quaternion::AxisRotation(float angleDegrees, int axis, float out[4]) {
    identity(out);
    if (axis < 0 || axis > 2) return;
    double half = angleDegrees * kPi / 180.0 / 2.0;
    out[axis] = static_cast<float>(std::sin(half));
    out[3] = static_cast<float>(std::cos(half));
}

void Quaternion::rotateWorld(float angleDegrees, int axis) {
    AxisRotation(angleDegrees, axis, scratch1);
    std::memcpy(scratch2, current, sizeof scratch2);
    Multiply(scratch1, scratch2, current);
}

void Quaternion::rotateLocal(float angleDegrees, int axis) {
    AxisRotation(angleDegrees, axis, scratch2);
    std::memcpy(scratch1, current, sizeof scratch1);
    Multiply(scratch1, scratch2, current);
}

void Quaternion::toMatrix(float m[16]) {
    double len = std::sqrt(double(current[0]) * current[0] + double(current[1]) * current[1] +
                           double(current[2]) * current[2] + double(current[3]) * current[3]);
    if (len == 0.0 || !std::isfinite(len)) {
        identity(normalised);
    } else {
        for (int i = 0; i < 4; ++i) normalised[i] = static_cast<float>(current[i] / len);
    }
    const float x = normalised[0], y = normalised[1], z = normalised[2], w = normalised[3];
    const float c[16] = {
        1 - 2 * y * y - 2 * z * z, 2 * x * y + 2 * w * z,     2 * x * z - 2 * w * y,     0,
        2 * x * y - 2 * w * z,     1 - 2 * x * x - 2 * z * z, 2 * y * z + 2 * w * x,     0,
        2 * x * z + 2 * w * y,     2 * y * z - 2 * w * x,     1 - 2 * x * x - 2 * y * y, 0,
        0,                         0,                         0,                         1,
    };
    std::memcpy(m, c, sizeof c);
}

void Quaternion::save() { std::memcpy(saved, current, sizeof saved); }
void Quaternion::restore() { std::memcpy(current, saved, sizeof current); }

void Quaternion::swap() {
    float t[4];
    std::memcpy(t, current, sizeof t);
    std::memcpy(current, saved, sizeof current);
    std::memcpy(saved, t, sizeof saved);
}
