#pragma once
// Enumerations shared by graphic objects, the drawing passes and the
// renderers.  The names are those the text dump prints.

enum DrawMode {
    DRAW_NORMAL = 0,      // "NORMAL": always
    DRAW_SPARSE_OFF = 1,  // "SPARSE OFF": only in full frames
    DRAW_SPARSE_ON = 2,   // "SPARSE ON": only in sparse frames (view moving)
    DRAW_ALWAYS_ON = 3,   // "ALWAYS ON": always, with full-resolution faces
    DRAW_PRIORITY = 4     // "PRIORITY": never by the ordinary object pass
};

enum PolygonMode { POLYGON_FILL = 0, POLYGON_LINE = 1, POLYGON_POINT = 2 };

enum CullingMode { CULL_NO = 0, CULL_BACK = 1, CULL_FRONT = 2 };

// 3D display lists of the mesh.
enum ListKind {
    LIST_FACES = 0,
    LIST_REDUCED_FACES = 1,
    LIST_LINES = 2,
    LIST_VERTICES = 3,
    LIST_TEXTS3D = 4,
    NUM_LIST_KINDS = 5
};

// Display lists of a generated (glyph) primitive; in an object's listDirty
// they follow the five ListKinds (index NUM_LIST_KINDS + kind).
enum PrimitiveListKind { PRIM_LIST_FACES = 0, PRIM_LIST_LINES = 1, NUM_PRIMITIVE_LIST_KINDS = 2 };

// 2D items.
enum OverlayKind { OVERLAY_LABEL = 0, OVERLAY_IMAGE = 1, OVERLAY_LINES = 2, OVERLAY_TEXTS = 3, NUM_OVERLAY_KINDS = 4 };

// Identifiers of vkoGraphicObj::setProperty / toggleProperty / getProperty.
// 17 is not assigned.
enum ObjectProperty {
    PROP_VISIBILITY = 0,
    PROP_FACES = 1,
    PROP_LINES = 2,
    PROP_VERTICES = 3,
    PROP_LIGHTING = 4,
    PROP_SPECULAR = 5,
    PROP_CULLING_MODE = 6,
    PROP_SMOOTH_LINES = 7,
    PROP_SMOOTH_FACES = 8,
    PROP_OVERLAY = 9,
    PROP_LINE_WIDTH = 10,
    PROP_TRANSPARENT = 11,
    PROP_TRANSPARENCY_LEVEL = 12,
    PROP_CUTTING_PLANE_VISIBLE = 13,
    PROP_CUTTING_PLANE_D = 14,
    PROP_MIRROR_PLANE_VISIBLE = 15,
    PROP_MIRROR_PLANE_PLANE_VISIBLE = 16,
    PROP_SINGLE_LIST = 18,
    PROP_CREASE_ANGLE = 19,
    PROP_POLYGON_MODE = 20,
    PROP_DRAW_TEXTURE = 21,
    PROP_VISIBILITY2 = 22,
    PROP_POINT_SIZE = 23,
    PROP_LOD_ALWAYS = 24,
    PROP_POLYGON_OFFSET = 25,
    PROP_DRAW_MODE = 26,
    PROP_PICKABLE = 27
};

// Texture kinds of GraphicData's texture record.
enum TextureKind {
    TEXTURE_SPHERE_MAP = 1,
    TEXTURE_PLANAR = 2,
    TEXTURE_BACKDROP_ROTATING = 3,  // follows only the view rotation
    TEXTURE_BACKDROP_FIXED = 4
};

// Names printed by the text dump (index = enum value; out of range -> "").
const char* DrawModeName(int mode);
const char* PolygonModeName(int mode);
const char* CullingModeName(int mode);
