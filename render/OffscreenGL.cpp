#include "render/OffscreenGL.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>

OffscreenGL::OffscreenGL() = default;

OffscreenGL::~OffscreenGL() {
    // The framebuffer object must be released while its context is current.
    if (context_ && surface_ && fbo_) context_->makeCurrent(surface_.get());
    fbo_.reset();
    if (context_) context_->doneCurrent();
    context_.reset();
    surface_.reset();
}

bool OffscreenGL::create(int width, int height) {
    if (width <= 0 || height <= 0) return false;
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(format);
    if (!context->create()) return false;
    // Core profiles lack the fixed-function pipeline the renderer uses.
    if (context->format().profile() == QSurfaceFormat::CoreProfile || context->isOpenGLES()) return false;
    auto surface = std::make_unique<QOffscreenSurface>();
    surface->setFormat(context->format());
    surface->create();
    if (!surface->isValid()) return false;
    if (!context->makeCurrent(surface.get())) return false;
    QOpenGLFramebufferObjectFormat fboFormat;
    fboFormat.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    auto fbo = std::make_unique<QOpenGLFramebufferObject>(width, height, fboFormat);
    if (!fbo->isValid() || !fbo->bind()) {
        fbo.reset();
        context->doneCurrent();
        return false;
    }
    context_ = std::move(context);
    surface_ = std::move(surface);
    fbo_ = std::move(fbo);
    width_ = width;
    height_ = height;
    return true;
}

bool OffscreenGL::makeCurrent() {
    if (!fbo_) return false;
    if (!context_->makeCurrent(surface_.get())) return false;
    return fbo_->bind();
}

void OffscreenGL::doneCurrent() {
    if (context_) context_->doneCurrent();
}

unsigned OffscreenGL::framebufferId() const { return fbo_ ? fbo_->handle() : 0; }
