// The baseline of the PostScript benchmark, in a program of its own because
// it draws through OSMesa, whose GL entry points must not meet the viewer's
// GL library in one process: the height field of HeightField.h in an
// 800 x 800 off-screen context, written by gl2ps as EPS with BSP sorting.
// Usage: gl2ps_peer OUTPUT.eps [repeats]; prints the best time of the page
// (gl2psBeginPage to gl2psEndPage) in seconds and the file size in bytes.
#include <GL/osmesa.h>
#include <GL/gl.h>
#include <gl2ps.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "HeightField.h"

namespace {

void drawScene(const heightfield::Mesh& m) {
    using namespace heightfield;
    glViewport(0, 0, kWindow, kWindow);
    glClearColor(kBackground[0], kBackground[1], kBackground[2], 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(kFrustum[0], kFrustum[1], kFrustum[2], kFrustum[3], kFrustum[4], kFrustum[5]);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, kLight);
    glTranslated(0, 0, -kDistance);
    glRotated(kTilt, 1, 0, 0);
    glRotated(kTurn, 0, 0, 1);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, kAmbient);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    const float noSpecular[4] = {0, 0, 0, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, noSpecular);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glShadeModel(GL_SMOOTH);
    glBegin(GL_TRIANGLES);
    for (int v : m.triangles) {
        glNormal3fv(&m.normal[size_t(v) * 3]);
        glColor3fv(&m.colour[size_t(v) * 3]);
        glVertex3fv(&m.position[size_t(v) * 3]);
    }
    glEnd();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gl2ps_peer OUTPUT.eps [repeats]\n");
        return 2;
    }
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    using namespace heightfield;
    OSMesaContext ctx = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    std::vector<unsigned char> buffer(size_t(kWindow) * kWindow * 4);
    if (!ctx || !OSMesaMakeCurrent(ctx, buffer.data(), GL_UNSIGNED_BYTE, kWindow, kWindow)) {
        std::fprintf(stderr, "no OSMesa context\n");
        return 1;
    }
    const Mesh mesh = make();
    double best = 1e30;
    long size = 0;
    GLint bufferSize = 64 << 20;
    for (int r = 0; r < repeats; ++r) {
        FILE* f = std::fopen(argv[1], "wb");
        if (!f) return 1;
        const auto start = std::chrono::steady_clock::now();
        GLint state = GL2PS_OVERFLOW;
        while (state == GL2PS_OVERFLOW) {
            GLint viewport[4] = {0, 0, kWindow, kWindow};
            // gl2ps takes the background from the clear colour at the start.
            glClearColor(kBackground[0], kBackground[1], kBackground[2], 0);
            gl2psBeginPage("heightfield", "bench", viewport, GL2PS_EPS, GL2PS_BSP_SORT,
                           GL2PS_SILENT | GL2PS_BEST_ROOT | GL2PS_OCCLUSION_CULL | GL2PS_DRAW_BACKGROUND, GL_RGBA, 0,
                           nullptr, 0, 0, 0, bufferSize, f, argv[1]);
            drawScene(mesh);
            state = gl2psEndPage();
            if (state == GL2PS_OVERFLOW) {
                bufferSize *= 2;
                std::rewind(f);
            }
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        size = std::ftell(f);
        std::fclose(f);
        if (state != GL2PS_SUCCESS) {
            std::fprintf(stderr, "gl2ps failed: %d\n", int(state));
            return 1;
        }
        best = std::min(best, seconds);
    }
    std::printf("%.6f %ld\n", best, size);
    OSMesaDestroyContext(ctx);
    return 0;
}
