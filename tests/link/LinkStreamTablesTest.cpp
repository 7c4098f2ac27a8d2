// The command and token tables: complete, in the order of the
// protocol documentation, byte-wise sorted, and found by the
// binary search.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/LinkStream.h"

namespace {

// The command names as documented, in table order.
const std::vector<std::string> kDocumentedCommands = {
    "CALC_DONE", "CENTER_VIEW", "DELETE_GRAPHIC", "DONT_UPDATE", "DUMP_STATE", "GET_CAMERA",
    "GET_PROJECTED_AREA", "LOAD_GRAPHIC", "NEW_GRAPHIC", "READ_VIEWS", "RESPOND_AFTER_UPDATE",
    "SELECT_GRAPHIC", "SET_PARAMETRS", "SHUTDOWN", "UPDATE_DONE",
};

// The token names as documented, in table order.
const std::vector<std::string> kDocumentedTokens = {
    "ADD_OBJECT", "AUTOPRINT", "BACKGROUND_COLOR", "CAMERA", "COLOR_MAP", "CREASE_ANGLE", "CULLING_MODE",
    "DONE", "DOUBLE_BUFFERING", "DRAW_FACES", "DRAW_LINES", "DRAW_MODE", "DRAW_OVERLAY", "DRAW_SMOOTH",
    "EXTRUDE", "FACES", "FACE_COLOR", "FACE_COLORS", "FACE_TRANSPARENCY", "GUI_CAMERA", "IMAGE", "LABEL",
    "LIGHTING", "LIGHTING_SPECULAR", "LIMIT_ZOOM", "LINES", "LINE_COLOR", "LINE_COLORS", "LINE_SMOOTH",
    "LINE_TRANSPARENCY", "LINE_WIDTH", "OBJECT", "OBJECT_ANGLE", "OBJECT_AXIS", "OBJECT_CLIP_PLANE",
    "OBJECT_INSTANCES", "OBJECT_INSTANCE_ANGLE", "OBJECT_INSTANCE_AXIS", "OBJECT_INSTANCE_TRANSLATION",
    "OBJECT_MIRROR_PLANE", "OBJECT_POLYGON_MODE", "OBJECT_POLYGON_OFFSET", "OBJECT_POLYSTRIP", "OBJECT_SCALE",
    "OBJECT_TRANSLATION", "OBJECT_VISIBILITY", "OUTFILE", "OVERLAY", "POINT_SIZE", "PRINTER",
    "PRINT_ANTIALIAS", "PRINT_PS_PAPER_SIZE", "PRINT_RASTER_SIZE", "PRINT_SCREEN", "PRINT_TOLERANCE",
    "QUALITY_FACTOR", "REMOVE_OBJECT", "SCALE_FACTOR", "SPARSE_MODE", "TEXTS", "TEXTURE", "TRANSPARENCY",
    "VERTEX_COLOR", "VERTEX_COLORS", "VERTEX_TRANSPARENCY", "VERTICES", "VIEWER_LAYOUT", "VIEWER_LOD_ERROR",
    "VIEWER_LOGO", "VIEWER_PORT", "VIEWER_PORT_ORDER", "VIEWER_XSPLIT", "VIEWER_YSPLIT", "VIEWPORT_AUTOFIT",
    "VIEWPORT_AXIS", "VIEWPORT_AXIS_TYPE", "VIEWPORT_BORDER", "VIEWPORT_CLIP_PLANE", "VIEWPORT_LIGHT",
    "VIEWPORT_MAXIMIZE", "VIEWPORT_ORTHO", "VIEWPORT_ROTATION", "VIEWPORT_RULER", "VIEWPORT_RULER_UNITS",
    "XREVERSEVIDEO",
};

bool ByteWiseLess(const std::string& a, const std::string& b) {
    return std::memcmp(a.c_str(), b.c_str(), std::min(a.size(), b.size()) + 1) < 0;
}

struct TableCase {
    const char* what;
    const std::vector<std::string>* documented;
    const char* const* table;
    int size;
    int (*lookup)(const char*);
};

class LinkTables : public ::testing::TestWithParam<TableCase> {};

TEST_P(LinkTables, CompleteSortedAndFound) {
    const TableCase& c = GetParam();
    ASSERT_EQ(c.documented->size(), size_t(c.size));
    for (int i = 0; i < c.size; ++i) {
        SCOPED_TRACE(c.documented->at(i));
        EXPECT_STREQ(c.table[i], c.documented->at(i).c_str());
        if (i > 0) {
            EXPECT_TRUE(ByteWiseLess(c.table[i - 1], c.table[i])) << c.table[i - 1] << " !< " << c.table[i];
            EXPECT_LT(std::strcmp(c.table[i - 1], c.table[i]), 0);
        }
        EXPECT_EQ(c.lookup(c.table[i]), i);
    }
}

TEST_P(LinkTables, MissingNamesGiveTheTableSize) {
    const TableCase& c = GetParam();
    const char* missing[] = {"", "A", "AAAA", "ZZZZ", "done", "Done", "DONE ", " DONE", "SET_PARAMETERS",
                             "CALC", "VIEWPORT", "\x7f", "\xff\xfe", "FACES_", "LINE_"};
    for (const char* name : missing) {
        SCOPED_TRACE(name);
        EXPECT_EQ(c.lookup(name), c.size);
    }
    EXPECT_EQ(c.lookup(nullptr), c.size);
    // Every proper prefix and every one-byte extension of a name is missing
    // too (unless it happens to be another name).
    for (int i = 0; i < c.size; ++i) {
        std::string name = c.table[i];
        for (size_t len = 0; len < name.size(); ++len) {
            std::string prefix = name.substr(0, len);
            int found = c.lookup(prefix.c_str());
            if (found != c.size) {
                EXPECT_EQ(prefix, c.table[found]);
            }
        }
        for (std::string ext : {name + "_", name + "A", name + "\x01"}) {
            int found = c.lookup(ext.c_str());
            if (found != c.size) {
                EXPECT_EQ(ext, c.table[found]);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, LinkTables,
    ::testing::Values(TableCase{"commands", &kDocumentedCommands, LinkStream::kCommandNames, LinkStream::kNumCommands,
                                &LinkStream::LookupCommand},
                      TableCase{"tokens", &kDocumentedTokens, LinkStream::kTokenNames, LinkStream::kNumTokens,
                                &LinkStream::LookupToken}),
    [](const ::testing::TestParamInfo<TableCase>& info) { return std::string(info.param.what); });

TEST(LinkTables, EnumeratorsMatchTheTables) {
    using C = LinkStream::Cmd;
    using T = LinkStream::Tok;
    const std::pair<int, const char*> commands[] = {
        {C::CALC_DONE, "CALC_DONE"},       {C::CENTER_VIEW, "CENTER_VIEW"},
        {C::DELETE_GRAPHIC, "DELETE_GRAPHIC"}, {C::DONT_UPDATE, "DONT_UPDATE"},
        {C::DUMP_STATE, "DUMP_STATE"},     {C::GET_CAMERA, "GET_CAMERA"},
        {C::GET_PROJECTED_AREA, "GET_PROJECTED_AREA"}, {C::LOAD_GRAPHIC, "LOAD_GRAPHIC"},
        {C::NEW_GRAPHIC, "NEW_GRAPHIC"},   {C::READ_VIEWS, "READ_VIEWS"},
        {C::RESPOND_AFTER_UPDATE, "RESPOND_AFTER_UPDATE"}, {C::SELECT_GRAPHIC, "SELECT_GRAPHIC"},
        {C::SET_PARAMETRS, "SET_PARAMETRS"}, {C::SHUTDOWN, "SHUTDOWN"},
        {C::UPDATE_DONE, "UPDATE_DONE"},
    };
    for (auto [index, name] : commands) EXPECT_EQ(LinkStream::LookupCommand(name), index) << name;
    EXPECT_EQ(int(C::NOT_FOUND), LinkStream::kNumCommands);
    const std::pair<int, const char*> tokens[] = {
        {T::ADD_OBJECT, "ADD_OBJECT"},
        {T::AUTOPRINT, "AUTOPRINT"},
        {T::BACKGROUND_COLOR, "BACKGROUND_COLOR"},
        {T::CAMERA, "CAMERA"},
        {T::COLOR_MAP, "COLOR_MAP"},
        {T::CREASE_ANGLE, "CREASE_ANGLE"},
        {T::CULLING_MODE, "CULLING_MODE"},
        {T::DONE, "DONE"},
        {T::DOUBLE_BUFFERING, "DOUBLE_BUFFERING"},
        {T::DRAW_FACES, "DRAW_FACES"},
        {T::DRAW_LINES, "DRAW_LINES"},
        {T::DRAW_MODE, "DRAW_MODE"},
        {T::DRAW_OVERLAY, "DRAW_OVERLAY"},
        {T::DRAW_SMOOTH, "DRAW_SMOOTH"},
        {T::EXTRUDE, "EXTRUDE"},
        {T::FACES, "FACES"},
        {T::FACE_COLOR, "FACE_COLOR"},
        {T::FACE_COLORS, "FACE_COLORS"},
        {T::FACE_TRANSPARENCY, "FACE_TRANSPARENCY"},
        {T::GUI_CAMERA, "GUI_CAMERA"},
        {T::IMAGE, "IMAGE"},
        {T::LABEL, "LABEL"},
        {T::LIGHTING, "LIGHTING"},
        {T::LIGHTING_SPECULAR, "LIGHTING_SPECULAR"},
        {T::LIMIT_ZOOM, "LIMIT_ZOOM"},
        {T::LINES, "LINES"},
        {T::LINE_COLOR, "LINE_COLOR"},
        {T::LINE_COLORS, "LINE_COLORS"},
        {T::LINE_SMOOTH, "LINE_SMOOTH"},
        {T::LINE_TRANSPARENCY, "LINE_TRANSPARENCY"},
        {T::LINE_WIDTH, "LINE_WIDTH"},
        {T::OBJECT, "OBJECT"},
        {T::OBJECT_ANGLE, "OBJECT_ANGLE"},
        {T::OBJECT_AXIS, "OBJECT_AXIS"},
        {T::OBJECT_CLIP_PLANE, "OBJECT_CLIP_PLANE"},
        {T::OBJECT_INSTANCES, "OBJECT_INSTANCES"},
        {T::OBJECT_INSTANCE_ANGLE, "OBJECT_INSTANCE_ANGLE"},
        {T::OBJECT_INSTANCE_AXIS, "OBJECT_INSTANCE_AXIS"},
        {T::OBJECT_INSTANCE_TRANSLATION, "OBJECT_INSTANCE_TRANSLATION"},
        {T::OBJECT_MIRROR_PLANE, "OBJECT_MIRROR_PLANE"},
        {T::OBJECT_POLYGON_MODE, "OBJECT_POLYGON_MODE"},
        {T::OBJECT_POLYGON_OFFSET, "OBJECT_POLYGON_OFFSET"},
        {T::OBJECT_POLYSTRIP, "OBJECT_POLYSTRIP"},
        {T::OBJECT_SCALE, "OBJECT_SCALE"},
        {T::OBJECT_TRANSLATION, "OBJECT_TRANSLATION"},
        {T::OBJECT_VISIBILITY, "OBJECT_VISIBILITY"},
        {T::OUTFILE, "OUTFILE"},
        {T::OVERLAY, "OVERLAY"},
        {T::POINT_SIZE, "POINT_SIZE"},
        {T::PRINTER, "PRINTER"},
        {T::PRINT_ANTIALIAS, "PRINT_ANTIALIAS"},
        {T::PRINT_PS_PAPER_SIZE, "PRINT_PS_PAPER_SIZE"},
        {T::PRINT_RASTER_SIZE, "PRINT_RASTER_SIZE"},
        {T::PRINT_SCREEN, "PRINT_SCREEN"},
        {T::PRINT_TOLERANCE, "PRINT_TOLERANCE"},
        {T::QUALITY_FACTOR, "QUALITY_FACTOR"},
        {T::REMOVE_OBJECT, "REMOVE_OBJECT"},
        {T::SCALE_FACTOR, "SCALE_FACTOR"},
        {T::SPARSE_MODE, "SPARSE_MODE"},
        {T::TEXTS, "TEXTS"},
        {T::TEXTURE, "TEXTURE"},
        {T::TRANSPARENCY, "TRANSPARENCY"},
        {T::VERTEX_COLOR, "VERTEX_COLOR"},
        {T::VERTEX_COLORS, "VERTEX_COLORS"},
        {T::VERTEX_TRANSPARENCY, "VERTEX_TRANSPARENCY"},
        {T::VERTICES, "VERTICES"},
        {T::VIEWER_LAYOUT, "VIEWER_LAYOUT"},
        {T::VIEWER_LOD_ERROR, "VIEWER_LOD_ERROR"},
        {T::VIEWER_LOGO, "VIEWER_LOGO"},
        {T::VIEWER_PORT, "VIEWER_PORT"},
        {T::VIEWER_PORT_ORDER, "VIEWER_PORT_ORDER"},
        {T::VIEWER_XSPLIT, "VIEWER_XSPLIT"},
        {T::VIEWER_YSPLIT, "VIEWER_YSPLIT"},
        {T::VIEWPORT_AUTOFIT, "VIEWPORT_AUTOFIT"},
        {T::VIEWPORT_AXIS, "VIEWPORT_AXIS"},
        {T::VIEWPORT_AXIS_TYPE, "VIEWPORT_AXIS_TYPE"},
        {T::VIEWPORT_BORDER, "VIEWPORT_BORDER"},
        {T::VIEWPORT_CLIP_PLANE, "VIEWPORT_CLIP_PLANE"},
        {T::VIEWPORT_LIGHT, "VIEWPORT_LIGHT"},
        {T::VIEWPORT_MAXIMIZE, "VIEWPORT_MAXIMIZE"},
        {T::VIEWPORT_ORTHO, "VIEWPORT_ORTHO"},
        {T::VIEWPORT_ROTATION, "VIEWPORT_ROTATION"},
        {T::VIEWPORT_RULER, "VIEWPORT_RULER"},
        {T::VIEWPORT_RULER_UNITS, "VIEWPORT_RULER_UNITS"},
        {T::XREVERSEVIDEO, "XREVERSEVIDEO"},
    };
    ASSERT_EQ(std::size(tokens), size_t(LinkStream::kNumTokens));
    for (auto [index, name] : tokens) EXPECT_EQ(LinkStream::LookupToken(name), index) << name;
    EXPECT_EQ(int(T::NOT_FOUND), LinkStream::kNumTokens);
}

}  // namespace
