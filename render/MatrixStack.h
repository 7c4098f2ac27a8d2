#pragma once
// Fixed-function matrix model in software for the renderers that do not draw
// through OpenGL and for bounds computations: a stack of (projection,
// model-view, texture) matrix triples, the usual builders, projection of
// points to window coordinates and back, and rotation to axis/angle.
//
// All arithmetic is double precision.  Matrices are 4 x 4 column-major:
// element (row r, column c) is at index 4c + r, the layout multMatrix of the
// renderer interface takes.

class MatrixStack {
public:
    // Matrix indices of a stack node.
    enum Index { Projection = 0, ModelView = 1, Texture = 2 };

    // One identity node, model-view selected, viewport 0 0 0 0.
    MatrixStack();
    ~MatrixStack();
    MatrixStack(const MatrixStack&) = delete;
    MatrixStack& operator=(const MatrixStack&) = delete;

    // Selects a matrix of the top node; values other than 0, 1, 2 are ignored.
    void setMode(int index);
    // The same with the OpenGL matrix-mode enumerants (5888 model-view,
    // 5889 projection, 5890 texture); other values are ignored.
    void setModeGL(int glMode);
    int getMode() const { return mode; }

    void getMatrix(int index, double out[16]) const;
    void getMatrixFloat(int index, float out[16]) const;
    // The matrix itself (top node); index outside 0..2 gives the selected one.
    const double* matrix(int index) const;
    // Number of nodes on the stack (1 when nothing is pushed).
    int depth() const;

    void loadIdentity();
    void setViewport(int x, int y, int width, int height);
    void getViewport(int out[4]) const;
    const int* viewportRect() const { return viewport; }

    // Copies the top node on top of itself.  Refuses (with a message) beyond
    // kMaxDepth nodes or when memory runs out, so a caller that pushes
    // without popping cannot grow the stack without bound.
    void push();
    // Drops the top node unless it is the last one (message otherwise).
    void pop();
    static constexpr int kMaxDepth = 1024;

    // current = current x M (and x the built matrix for the builders below).
    void multMatrix(const double m[16]);
    void multMatrixFloat(const float m[16]);
    void translate(double x, double y, double z);
    void scale(double x, double y, double z);
    void rotate(double angleDegrees, double x, double y, double z);
    void frustum(double left, double right, double bottom, double top, double nearZ, double farZ);
    void ortho(double left, double right, double bottom, double top, double nearZ, double farZ);
    void translateFloat(float x, float y, float z) { translate(x, y, z); }
    void scaleFloat(float x, float y, float z) { scale(x, y, z); }
    void rotateFloat(float angleDegrees, float x, float y, float z) { rotate(angleDegrees, x, y, z); }

    // out = m x p (column vector).
    static void transform(const double m[16], const double p[4], double out[4]);
    static void transformFloat(const double m[16], const float p[4], float out[4]);
    // out = p x m (row vector).
    static void rowTransform(const float p[4], const double m[16], float out[4]);
    // out = a x b.
    static void multiply(const double a[16], const double b[16], double out[16]);
    static void identity(double out[16]);

    // Gauss-Jordan with partial pivoting; false (out untouched) when singular.
    static bool invert(const double m[16], double out[16]);

    // Object point to window coordinates (z in 0..1).  False when the clip w
    // is 0 (message, w taken as 1) or negative (with mirrorNegativeW, -w is
    // used so the coordinates come out mirrored but finite).
    static bool project(double x, double y, double z, const double modelView[16], const double projection[16],
                        const int viewport[4], double* winX, double* winY, double* winZ,
                        bool mirrorNegativeW = false);
    // Window point back to object coordinates.  A zero viewport size or w is
    // reported and worked around; false when a matrix cannot be inverted
    // (the outputs are then 0) or w is 0.
    static bool unproject(double winX, double winY, double winZ, const double modelView[16],
                          const double projection[16], const int viewport[4], double* objX, double* objY,
                          double* objZ);

    // Rotation part of a matrix (columns normalised) as axis and angle in
    // radians; no rotation gives axis (0, 0, 1) and angle 0.
    static void toAxisAngle(const double m[16], float* axisX, float* axisY, float* axisZ, float* angle);

private:
    struct Node {
        double m[3][16];
        Node* below;
    };

    double* current;
    int mode;
    Node* top;
    int viewport[4];
};
