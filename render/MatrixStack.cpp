#include "render/MatrixStack.h"

#include <cmath>
#include <cstring>
#include <new>

#include "platform/MessageSink.h"

namespace {

constexpr double kPi = 3.141592653589793;

inline double& at(double* m, int row, int col) { return m[4 * col + row]; }
inline double at(const double* m, int row, int col) { return m[4 * col + row]; }

void error(const char* text) { platform::ShowMessage(platform::MessageIcon::Error, text); }

}  // namespace

MatrixStack::MatrixStack() : current(nullptr), mode(ModelView), top(new Node), viewport{0, 0, 0, 0} {
    top->below = nullptr;
    identity(top->m[Projection]);
    identity(top->m[Texture]);
    identity(top->m[ModelView]);
    current = top->m[mode];
}

MatrixStack::~MatrixStack() {
    while (top) {
        Node* below = top->below;
        delete top;
        top = below;
    }
}

void MatrixStack::setMode(int index) {
    if (index < 0 || index > 2) return;
    mode = index;
    current = top->m[mode];
}

void MatrixStack::setModeGL(int glMode) {
    switch (glMode) {
    case 5888: setMode(ModelView); break;
    case 5889: setMode(Projection); break;
    case 5890: setMode(Texture); break;
    default: break;
    }
}

void MatrixStack::getMatrix(int index, double out[16]) const {
    std::memcpy(out, matrix(index), sizeof(double) * 16);
}

void MatrixStack::getMatrixFloat(int index, float out[16]) const {
    const double* m = matrix(index);
    for (int i = 0; i < 16; ++i) out[i] = static_cast<float>(m[i]);
}

const double* MatrixStack::matrix(int index) const {
    if (index < 0 || index > 2) return current;
    return top->m[index];
}

int MatrixStack::depth() const {
    int n = 0;
    for (const Node* node = top; node; node = node->below) ++n;
    return n;
}

void MatrixStack::loadIdentity() { identity(current); }

void MatrixStack::setViewport(int x, int y, int width, int height) {
    viewport[0] = x;
    viewport[1] = y;
    viewport[2] = width;
    viewport[3] = height;
}

void MatrixStack::getViewport(int out[4]) const { std::memcpy(out, viewport, sizeof viewport); }

void MatrixStack::push() {
    Node* node = depth() < kMaxDepth ? new (std::nothrow) Node : nullptr;
    if (!node) {
        error("PushMatrix: Too many matrices\n");
        return;
    }
    std::memcpy(node->m, top->m, sizeof node->m);
    node->below = top;
    top = node;
    current = top->m[mode];
}

void MatrixStack::pop() {
    if (!top->below) {
        error("PopMatrix: No more matrices\n");
        return;
    }
    Node* old = top;
    top = top->below;
    delete old;
    current = top->m[mode];
}

void MatrixStack::multMatrix(const double m[16]) {
    double result[16];
    multiply(current, m, result);
    std::memcpy(current, result, sizeof result);
}

void MatrixStack::multMatrixFloat(const float m[16]) {
    double d[16];
    for (int i = 0; i < 16; ++i) d[i] = m[i];
    multMatrix(d);
}

void MatrixStack::translate(double x, double y, double z) {
    double m[16];
    identity(m);
    at(m, 0, 3) = x;
    at(m, 1, 3) = y;
    at(m, 2, 3) = z;
    multMatrix(m);
}

void MatrixStack::scale(double x, double y, double z) {
    double m[16];
    identity(m);
    at(m, 0, 0) = x;
    at(m, 1, 1) = y;
    at(m, 2, 2) = z;
    multMatrix(m);
}

void MatrixStack::rotate(double angleDegrees, double x, double y, double z) {
    double length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0) return;
    x /= length;
    y /= length;
    z /= length;
    double angle = angleDegrees * kPi / 180.0;
    double s = std::sin(angle), c = std::cos(angle), t = 1.0 - c;
    double m[16];
    identity(m);
    at(m, 0, 0) = t * x * x + c;
    at(m, 0, 1) = t * x * y - s * z;
    at(m, 0, 2) = t * x * z + s * y;
    at(m, 1, 0) = t * x * y + s * z;
    at(m, 1, 1) = t * y * y + c;
    at(m, 1, 2) = t * y * z - s * x;
    at(m, 2, 0) = t * x * z - s * y;
    at(m, 2, 1) = t * y * z + s * x;
    at(m, 2, 2) = t * z * z + c;
    multMatrix(m);
}

void MatrixStack::frustum(double left, double right, double bottom, double top_, double nearZ, double farZ) {
    if (right == left || top_ == bottom || farZ == nearZ) return;
    double m[16] = {0};
    at(m, 0, 0) = 2.0 * nearZ / (right - left);
    at(m, 0, 2) = (right + left) / (right - left);
    at(m, 1, 1) = 2.0 * nearZ / (top_ - bottom);
    at(m, 1, 2) = (top_ + bottom) / (top_ - bottom);
    at(m, 2, 2) = -(farZ + nearZ) / (farZ - nearZ);
    at(m, 2, 3) = -2.0 * farZ * nearZ / (farZ - nearZ);
    at(m, 3, 2) = -1.0;
    multMatrix(m);
}

void MatrixStack::ortho(double left, double right, double bottom, double top_, double nearZ, double farZ) {
    if (right == left || top_ == bottom || farZ == nearZ) return;
    double m[16];
    identity(m);
    at(m, 0, 0) = 2.0 / (right - left);
    at(m, 0, 3) = -(right + left) / (right - left);
    at(m, 1, 1) = 2.0 / (top_ - bottom);
    at(m, 1, 3) = -(top_ + bottom) / (top_ - bottom);
    at(m, 2, 2) = -2.0 / (farZ - nearZ);
    at(m, 2, 3) = -(farZ + nearZ) / (farZ - nearZ);
    multMatrix(m);
}

void MatrixStack::transform(const double m[16], const double p[4], double out[4]) {
    double r[4];
    for (int row = 0; row < 4; ++row)
        r[row] = at(m, row, 0) * p[0] + at(m, row, 1) * p[1] + at(m, row, 2) * p[2] + at(m, row, 3) * p[3];
    std::memcpy(out, r, sizeof r);
}

void MatrixStack::transformFloat(const double m[16], const float p[4], float out[4]) {
    double d[4] = {p[0], p[1], p[2], p[3]}, r[4];
    transform(m, d, r);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<float>(r[i]);
}

void MatrixStack::rowTransform(const float p[4], const double m[16], float out[4]) {
    float r[4];
    for (int col = 0; col < 4; ++col)
        r[col] = static_cast<float>(p[0] * at(m, 0, col) + p[1] * at(m, 1, col) + p[2] * at(m, 2, col) +
                                    p[3] * at(m, 3, col));
    std::memcpy(out, r, sizeof r);
}

void MatrixStack::multiply(const double a[16], const double b[16], double out[16]) {
    double r[16];
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            r[4 * col + row] = at(a, row, 0) * at(b, 0, col) + at(a, row, 1) * at(b, 1, col) +
                               at(a, row, 2) * at(b, 2, col) + at(a, row, 3) * at(b, 3, col);
    std::memcpy(out, r, sizeof r);
}

void MatrixStack::identity(double out[16]) {
    for (int i = 0; i < 16; ++i) out[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

bool MatrixStack::invert(const double m[16], double out[16]) {
    // Work on rows [a | I]; a[r][c] is element (r, c).
    double a[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            a[r][c] = at(m, r, c);
            a[r][c + 4] = (r == c) ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (a[pivot][col] == 0.0 || std::isnan(a[pivot][col])) return false;
        if (pivot != col)
            for (int c = 0; c < 8; ++c) std::swap(a[pivot][c], a[col][c]);
        double d = a[col][col];
        for (int c = 0; c < 8; ++c) a[col][c] /= d;
        for (int r = 0; r < 4; ++r) {
            if (r == col) continue;
            double f = a[r][col];
            if (f == 0.0) continue;
            for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
        }
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) at(out, r, c) = a[r][c + 4];
    return true;
}

bool MatrixStack::project(double x, double y, double z, const double modelView[16], const double projection[16],
                          const int viewport[4], double* winX, double* winY, double* winZ, bool mirrorNegativeW) {
    double p[4] = {x, y, z, 1.0}, eye[4], clip[4];
    transform(modelView, p, eye);
    transform(projection, eye, clip);
    bool ok = clip[3] > 0.0;
    double w = clip[3];
    if (w == 0.0) {
        error("Project: Can't normalize coordinates\n");
        w = 1.0;
    } else if (w < 0.0 && mirrorNegativeW) {
        w = -w;
    }
    double nx = clip[0] / w, ny = clip[1] / w, nz = clip[2] / w;
    *winX = viewport[0] + (1.0 + nx) * viewport[2] / 2.0;
    *winY = viewport[1] + (1.0 + ny) * viewport[3] / 2.0;
    *winZ = (1.0 + nz) / 2.0;
    return ok;
}

bool MatrixStack::unproject(double winX, double winY, double winZ, const double modelView[16],
                            const double projection[16], const int viewport[4], double* objX, double* objY,
                            double* objZ) {
    double v[4];
    if (viewport[2] == 0) {
        error("UnProject: Viewport width is 0\n");
        v[0] = (winX - viewport[0]) * 2.0 - 1.0;
    } else {
        v[0] = (winX - viewport[0]) * 2.0 / viewport[2] - 1.0;
    }
    if (viewport[3] == 0) {
        error("UnProject: Viewport height is 0\n");
        v[1] = (winY - viewport[1]) * 2.0 - 1.0;
    } else {
        v[1] = (winY - viewport[1]) * 2.0 / viewport[3] - 1.0;
    }
    v[2] = 2.0 * winZ - 1.0;
    v[3] = 1.0;

    // A singular matrix would leave the inverse unset; answer 0 rather than
    // whatever the caller's buffers held.
    double invProjection[16], invModelView[16];
    if (!invert(projection, invProjection) || !invert(modelView, invModelView)) {
        *objX = *objY = *objZ = 0.0;
        return false;
    }
    double eye[4], obj[4];
    transform(invProjection, v, eye);
    transform(invModelView, eye, obj);
    bool ok = true;
    if (obj[3] != 0.0) {
        obj[0] /= obj[3];
        obj[1] /= obj[3];
        obj[2] /= obj[3];
    } else {
        error("UnProject: Can't normalize coordinates\n");
        ok = false;
    }
    *objX = obj[0];
    *objY = obj[1];
    *objZ = obj[2];
    return ok;
}

void MatrixStack::toAxisAngle(const double m[16], float* axisX, float* axisY, float* axisZ, float* angle) {
    double R[3][3];
    for (int c = 0; c < 3; ++c) {
        double len = std::sqrt(at(m, 0, c) * at(m, 0, c) + at(m, 1, c) * at(m, 1, c) + at(m, 2, c) * at(m, 2, c));
        if (len == 0.0) len = 1.0;
        for (int r = 0; r < 3; ++r) R[r][c] = at(m, r, c) / len;
    }
    double k = (R[0][0] + R[1][1] + R[2][2] - 1.0) / 2.0;
    if (k > 0.999995) {
        *axisX = 0.0f;
        *axisY = 0.0f;
        *axisZ = 1.0f;
        *angle = 0.0f;
        return;
    }
    if (k < -0.999995) {
        // Half turn: the axis comes from the diagonal; its signs from the
        // off-diagonal terms (the first non-zero component stays positive).
        double x = std::sqrt(std::fmax(0.0, R[0][0] + 1.0) / 2.0);
        double y = std::sqrt(std::fmax(0.0, R[1][1] + 1.0) / 2.0);
        double z = std::sqrt(std::fmax(0.0, R[2][2] + 1.0) / 2.0);
        const double eps = 5e-6;
        bool xp = x > eps, yp = y > eps, zp = z > eps;
        if (xp && yp && zp) {
            if (R[0][1] < -eps) y = -y;
            if (R[0][2] < -eps) z = -z;
        } else if (xp && yp) {
            if (R[0][1] < -eps) y = -y;
        } else if (xp) {
            if (R[0][2] < -eps) z = -z;
        } else {
            if (R[1][2] < -eps) z = -z;
        }
        *axisX = static_cast<float>(x);
        *axisY = static_cast<float>(y);
        *axisZ = static_cast<float>(z);
        *angle = static_cast<float>(kPi);
        return;
    }
    double a = std::acos(k);
    double d = 2.0 * std::sin(a);
    *axisX = static_cast<float>((R[2][1] - R[1][2]) / d);
    *axisY = static_cast<float>((R[0][2] - R[2][0]) / d);
    *axisZ = static_cast<float>((R[1][0] - R[0][1]) / d);
    *angle = static_cast<float>(a);
}
