// Queries: which types each backend answers, the calls they refuse, occlusion counting the pixels of drawn
// rectangles (headless on llvmpipe), events and timestamps becoming ready, and what a query holds.
#include <gtest/gtest.h>

#include <cstdint>

#include "DrawTestSupport.h"

namespace tarn::d3d9::test {
namespace {

constexpr D3DQUERYTYPE kAnswered[] = {D3DQUERYTYPE_EVENT, D3DQUERYTYPE_OCCLUSION, D3DQUERYTYPE_TIMESTAMP,
                                      D3DQUERYTYPE_TIMESTAMPDISJOINT, D3DQUERYTYPE_TIMESTAMPFREQ};
constexpr D3DQUERYTYPE kNeverAnswered[] = {
    D3DQUERYTYPE_VCACHE,          D3DQUERYTYPE_RESOURCEMANAGER,  D3DQUERYTYPE_VERTEXSTATS,
    D3DQUERYTYPE_PIPELINETIMINGS, D3DQUERYTYPE_INTERFACETIMINGS, D3DQUERYTYPE_VERTEXTIMINGS,
    D3DQUERYTYPE_PIXELTIMINGS,    D3DQUERYTYPE_BANDWIDTHTIMINGS, D3DQUERYTYPE_CACHEUTILIZATION,
    static_cast<D3DQUERYTYPE>(0), static_cast<D3DQUERYTYPE>(7),  static_cast<D3DQUERYTYPE>(19)};

// Polls with D3DGETDATA_FLUSH until the result is ready (S_OK), for at most a few seconds of tries.
template <class T>
HRESULT WaitForData(IDirect3DQuery9* query, T* data) {
    HRESULT hr = S_FALSE;
    for (int i = 0; i < 1000000 && hr == S_FALSE; ++i) hr = query->GetData(data, sizeof(T), D3DGETDATA_FLUSH);
    return hr;
}

class QueryTest : public DrawTest {
protected:
    IDirect3DQuery9* Make(D3DQUERYTYPE type) {
        IDirect3DQuery9* query = nullptr;
        EXPECT_EQ(device->CreateQuery(type, &query), D3D_OK);
        return query;
    }

    // Samples counted while drawing a rectangle at depth z.
    DWORD CountRect(float x0, float y0, float x1, float y1, float z) {
        IDirect3DQuery9* query = Make(D3DQUERYTYPE_OCCLUSION);
        if (!query) return ~0u;
        EXPECT_EQ(query->Issue(D3DISSUE_BEGIN), D3D_OK);
        Rect(x0, y0, x1, y1, 0xff20c040u, z);
        EXPECT_EQ(query->Issue(D3DISSUE_END), D3D_OK);
        DWORD samples = ~0u;
        EXPECT_EQ(WaitForData(query, &samples), S_OK);
        query->Release();
        return samples;
    }
};

// The OpenGL backend answers the five types from GL queries and fences; a null pointer asks without making one.
TEST_F(QueryTest, GlBackendAnswersEventsOcclusionAndTimestamps) {
    for (D3DQUERYTYPE type : kAnswered) {
        SCOPED_TRACE(type);
        EXPECT_EQ(device->CreateQuery(type, nullptr), D3D_OK);
        IDirect3DQuery9* query = Make(type);
        ASSERT_NE(query, nullptr);
        EXPECT_EQ(query->GetType(), type);
        query->Release();
    }
    for (D3DQUERYTYPE type : kNeverAnswered) {
        SCOPED_TRACE(type);
        IDirect3DQuery9* query = reinterpret_cast<IDirect3DQuery9*>(1);
        EXPECT_EQ(device->CreateQuery(type, &query), D3DERR_NOTAVAILABLE);
        EXPECT_EQ(query, nullptr);
        EXPECT_EQ(device->CreateQuery(type, nullptr), D3DERR_NOTAVAILABLE);
    }
}

// The null backend draws nothing and keeps no clock: it answers events only, passed at once.
using NullQueryTest = DeviceTest;
TEST_F(NullQueryTest, NullBackendAnswersEventsOnly) {
    for (D3DQUERYTYPE type : kAnswered) {
        SCOPED_TRACE(type);
        EXPECT_EQ(device->CreateQuery(type, nullptr), type == D3DQUERYTYPE_EVENT ? D3D_OK : D3DERR_NOTAVAILABLE);
    }
    IDirect3DQuery9* event = nullptr;
    ASSERT_EQ(device->CreateQuery(D3DQUERYTYPE_EVENT, &event), D3D_OK);
    ASSERT_EQ(event->Issue(D3DISSUE_END), D3D_OK);
    BOOL done = FALSE;
    EXPECT_EQ(event->GetData(&done, sizeof(done), 0), S_OK);
    EXPECT_EQ(done, TRUE);
    event->Release();
}

// Occlusion counts the samples that pass the depth test: all of a 32 x 12 rectangle, none of one drawn behind
// a nearer rectangle, and the visible part of one half behind it.
TEST_F(QueryTest, OcclusionCountsThePixelsDrawn) {
    Clear(0xff000000u);
    EXPECT_EQ(CountRect(8, 4, 40, 16, 0.5f), 32u * 12u);
    Rect(0, 32, 64, 64, 0xff808080u, 0.25f);  // a near wall over the bottom half
    EXPECT_EQ(CountRect(10, 40, 30, 60, 0.75f), 0u);
    EXPECT_EQ(CountRect(4, 24, 9, 40, 0.75f), 5u * 8u);
    // An End with no Begin is an empty bracket.
    IDirect3DQuery9* query = Make(D3DQUERYTYPE_OCCLUSION);
    ASSERT_NE(query, nullptr);
    Rect(0, 0, 16, 16, 0xffffffffu, 0.1f);
    ASSERT_EQ(query->Issue(D3DISSUE_END), D3D_OK);
    DWORD samples = ~0u;
    EXPECT_EQ(WaitForData(query, &samples), S_OK);
    EXPECT_EQ(samples, 0u);
    query->Release();
}

// An event becomes passed once the GPU has run the commands before it, which D3DGETDATA_FLUSH sends.
// Timestamps taken around a draw rise, in ticks of the reported frequency, with no disjoint jump between.
TEST_F(QueryTest, EventsAndTimestampsBecomeReady) {
    IDirect3DQuery9* disjoint = Make(D3DQUERYTYPE_TIMESTAMPDISJOINT);
    IDirect3DQuery9* frequency = Make(D3DQUERYTYPE_TIMESTAMPFREQ);
    IDirect3DQuery9* start = Make(D3DQUERYTYPE_TIMESTAMP);
    IDirect3DQuery9* finish = Make(D3DQUERYTYPE_TIMESTAMP);
    IDirect3DQuery9* event = Make(D3DQUERYTYPE_EVENT);
    ASSERT_TRUE(disjoint && frequency && start && finish && event);

    ASSERT_EQ(disjoint->Issue(D3DISSUE_BEGIN), D3D_OK);
    ASSERT_EQ(start->Issue(D3DISSUE_END), D3D_OK);
    Clear(0xff000000u);
    for (int i = 0; i < 20; ++i) Rect(0, 0, 64, 64, 0xff000000u | static_cast<D3DCOLOR>(i * 10), 0.5f);
    ASSERT_EQ(finish->Issue(D3DISSUE_END), D3D_OK);
    ASSERT_EQ(frequency->Issue(D3DISSUE_END), D3D_OK);
    ASSERT_EQ(disjoint->Issue(D3DISSUE_END), D3D_OK);
    ASSERT_EQ(event->Issue(D3DISSUE_END), D3D_OK);

    // Without a flush the driver may or may not have run the commands yet; S_FALSE leaves the data alone.
    BOOL passed = FALSE;
    const HRESULT early = event->GetData(&passed, sizeof(passed), 0);
    EXPECT_TRUE(early == S_FALSE || early == S_OK) << early;
    EXPECT_EQ(passed, early == S_OK ? TRUE : FALSE);
    EXPECT_EQ(WaitForData(event, &passed), S_OK);
    EXPECT_EQ(passed, TRUE);

    ULONGLONG t0 = 0, t1 = 0, ticksPerSecond = 0;
    BOOL jumped = TRUE;
    ASSERT_EQ(WaitForData(start, &t0), S_OK);
    ASSERT_EQ(WaitForData(finish, &t1), S_OK);
    ASSERT_EQ(WaitForData(frequency, &ticksPerSecond), S_OK);
    ASSERT_EQ(WaitForData(disjoint, &jumped), S_OK);
    EXPECT_EQ(jumped, FALSE);
    EXPECT_EQ(ticksPerSecond, 1000000000u);
    EXPECT_GT(t0, 0u);
    EXPECT_GT(t1, t0);
    EXPECT_LT(t1 - t0, 60 * ticksPerSecond) << "more than a minute between two timestamps of one frame";
    for (IDirect3DQuery9* q : {disjoint, frequency, start, finish, event}) q->Release();
}

// Each type's data size; Issue takes BEGIN only where something is measured between the two; GetData checks its
// size and flags, polls with a size of 0, and has no result before an End.
TEST_F(QueryTest, CallsCheckTheirArguments) {
    const struct {
        D3DQUERYTYPE type;
        DWORD size;
        bool begins;
    } cases[] = {
        {D3DQUERYTYPE_EVENT, sizeof(BOOL), false},
        {D3DQUERYTYPE_OCCLUSION, sizeof(DWORD), true},
        {D3DQUERYTYPE_TIMESTAMP, sizeof(ULONGLONG), false},
        {D3DQUERYTYPE_TIMESTAMPDISJOINT, sizeof(BOOL), true},
        {D3DQUERYTYPE_TIMESTAMPFREQ, sizeof(ULONGLONG), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        IDirect3DQuery9* query = Make(c.type);
        ASSERT_NE(query, nullptr);
        EXPECT_EQ(query->GetDataSize(), c.size);
        ULONGLONG data[2] = {};
        EXPECT_EQ(query->GetData(data, c.size, 0), D3DERR_INVALIDCALL) << "no End issued yet";
        EXPECT_EQ(query->Issue(D3DISSUE_BEGIN), c.begins ? D3D_OK : D3DERR_INVALIDCALL);
        EXPECT_EQ(query->Issue(0), D3DERR_INVALIDCALL);
        EXPECT_EQ(query->Issue(D3DISSUE_BEGIN | D3DISSUE_END), D3DERR_INVALIDCALL);
        if (c.begins) {
            EXPECT_EQ(query->GetData(data, c.size, 0), D3DERR_INVALIDCALL) << "begun, not ended";
        }
        ASSERT_EQ(query->Issue(D3DISSUE_END), D3D_OK);
        EXPECT_EQ(query->GetData(data, c.size - 1, D3DGETDATA_FLUSH), D3DERR_INVALIDCALL);
        EXPECT_EQ(query->GetData(nullptr, c.size, D3DGETDATA_FLUSH), D3DERR_INVALIDCALL);
        EXPECT_EQ(query->GetData(data, c.size, 2), D3DERR_INVALIDCALL);
        HRESULT polled = S_FALSE;
        for (int i = 0; i < 1000000 && polled == S_FALSE; ++i) polled = query->GetData(nullptr, 0, D3DGETDATA_FLUSH);
        EXPECT_EQ(polled, S_OK);
        // A larger buffer takes the result in its first bytes.
        data[0] = data[1] = ~0ull;
        EXPECT_EQ(query->GetData(data, sizeof(data), 0), S_OK);
        EXPECT_EQ(data[1], ~0ull);
        query->Release();
    }
}

// A query holds a reference on its device, hands it out with GetDevice, and counts as alive until released.
TEST_F(QueryTest, QueriesHoldTheirDevice) {
    device->AddRef();
    const ULONG refs = device->Release();
    const std::size_t live = LiveResourceCount(device);
    IDirect3DQuery9* query = Make(D3DQUERYTYPE_EVENT);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(LiveResourceCount(device), live + 1);
    EXPECT_NE(DescribeLiveResources(device).find("query"), std::string::npos);
    IDirect3DDevice9* owner = nullptr;
    EXPECT_EQ(query->GetDevice(&owner), D3D_OK);
    EXPECT_EQ(owner, device);
    EXPECT_EQ(owner->Release(), refs + 1);
    EXPECT_EQ(query->GetDevice(nullptr), D3DERR_INVALIDCALL);
    IUnknown* unknown = nullptr;
    EXPECT_EQ(query->QueryInterface(IID_IDirect3DQuery9, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, query);
    unknown->Release();
    EXPECT_EQ(query->QueryInterface(IID_IDirect3DStateBlock9, reinterpret_cast<void**>(&unknown)), E_NOINTERFACE);
    EXPECT_EQ(query->Release(), 0u);
    EXPECT_EQ(LiveResourceCount(device), live);
}

}  // namespace
}  // namespace tarn::d3d9::test
