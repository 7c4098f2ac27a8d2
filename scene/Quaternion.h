#pragma once
// Unit quaternion holding a view rotation, with a saved copy for temporary
// changes.  Angles are degrees.

class Quaternion {
public:
    enum Axis { AxisX = 0, AxisY = 1, AxisZ = 2 };

    // All five quaternions the identity; saved = current.
    Quaternion();

    void setIdentity();
    void set(float x, float y, float z, float w);
    const float* value() const { return current; }  // x, y, z, w

    // current = r (x) current: a turn about a fixed (world) axis.
    void rotateWorld(float angleDegrees, int axis);
    // current = current (x) r: a turn about the rotated (local) axis.
    void rotateLocal(float angleDegrees, int axis);

    // Column-major 4 x 4 rotation matrix of the normalised current
    // rotation (a zero quaternion gives the identity).
    void toMatrix(float m[16]);

    void save();     // saved = current
    void restore();  // current = saved
    void swap();     // exchange current and saved

    // Hamilton product p (x) q.
    static void Multiply(const float p[4], const float q[4], float out[4]);
    // Turn about principal axis 0, 1 or 2 (others: the identity).
    static void AxisRotation(float angleDegrees, int axis, float out[4]);

private:
    float current[4];
    float scratch1[4];  // operands of a multiplication
    float scratch2[4];
    float normalised[4];  // filled before a matrix is built
    float saved[4];
};
