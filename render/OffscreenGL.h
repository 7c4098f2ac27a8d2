#pragma once
// An OpenGL context that draws without a window: a compatibility-profile
// context (legacy fixed-function calls work) on an off-screen surface, with
// a framebuffer object of the requested size as the drawing target.  Used by
// the tests, the benchmarks and headless output.
#include <memory>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;

class OffscreenGL {
public:
    OffscreenGL();
    ~OffscreenGL();
    OffscreenGL(const OffscreenGL&) = delete;
    OffscreenGL& operator=(const OffscreenGL&) = delete;

    // Creates the context, the surface and a width x height framebuffer with
    // colour and depth, and makes it current.  False (and nothing current)
    // when any of them cannot be created.
    bool create(int width, int height);
    bool isValid() const { return fbo_ != nullptr; }
    // Makes the context current and binds the framebuffer.
    bool makeCurrent();
    void doneCurrent();
    // Id of the framebuffer object the renderer must draw into (never 0).
    unsigned framebufferId() const;
    int width() const { return width_; }
    int height() const { return height_; }
    QOpenGLContext* context() const { return context_.get(); }

private:
    std::unique_ptr<QOpenGLContext> context_;
    std::unique_ptr<QOffscreenSurface> surface_;
    std::unique_ptr<QOpenGLFramebufferObject> fbo_;
    int width_ = 0, height_ = 0;
};
