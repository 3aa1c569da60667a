#include "tools/trs/TrsWriter.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tarn::trs;

namespace {

std::int32_t I32At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    std::int32_t v;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

float F32At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    float v;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

}  // namespace

TEST(TrsWriter, EmptySceneIsVersionAndEightZeroCounts) {
    TrsScene scene;
    scene.version = 10;
    const auto bytes = WriteTrs(scene);
    ASSERT_EQ(bytes.size(), 36u);
    EXPECT_EQ(I32At(bytes, 0), 10);
    for (std::size_t i = 1; i < 9; ++i) EXPECT_EQ(I32At(bytes, 4 * i), 0) << "count " << i;
}

TEST(TrsWriter, MeshRecordCarriesRenderStatesOnlyAboveVersion10) {
    TrsMeshNode mesh;
    mesh.name = "a name longer than twenty characters";
    mesh.userData = {1, 2, 3};
    mesh.rotationKeys = {{0, 0, 0, 0, 1}, {4, 0, 0, 0, 1}};
    mesh.zEnable = 7;
    mesh.boundCentre = {1.5f, 2.5f, 3.5f};
    const std::size_t h = 108 + 3 + 2 * 20;
    ASSERT_EQ(TrsNodeHeaderSize(mesh), h);

    struct Case {
        std::int32_t version;
        std::size_t recordSize;
        std::size_t boundOffset;
    } cases[] = {{10, h + 32, h + 16}, {11, h + 39, h + 23}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        TrsByteSink sink;
        WriteTrsMeshNode(sink, mesh, c.version);
        const auto& bytes = sink.data();
        ASSERT_EQ(bytes.size(), c.recordSize);
        EXPECT_EQ(bytes[19], 0) << "name keeps its terminator";
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), "a name longer than ");
        EXPECT_EQ(I32At(bytes, 92), 3);
        EXPECT_EQ(I32At(bytes, 99), 0);   // nPos
        EXPECT_EQ(I32At(bytes, 103), 2);  // nRot
        EXPECT_EQ(F32At(bytes, 111 + 20), 4.0f);
        EXPECT_EQ(I32At(bytes, h + 8), -1);  // material
        if (c.version > 10) {
            EXPECT_EQ(bytes[h + 16], 7);
        }
        EXPECT_EQ(F32At(bytes, c.boundOffset), 1.5f);
    }
}

TEST(TrsWriter, FixedStringCutsOrFillsItsField) {
    TrsByteSink sink;
    sink.fixedString(std::string(300, 'x'), 256);
    sink.fixedString(std::string(300, 'y'), 256, false);
    const auto& bytes = sink.data();
    ASSERT_EQ(bytes.size(), 512u);
    EXPECT_EQ(bytes[254], 'x');
    EXPECT_EQ(bytes[255], 0);
    EXPECT_EQ(bytes[511], 'y');
}
