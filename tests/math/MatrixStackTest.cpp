// The matrix stack: its start, push and pop, and on which side each operation multiplies the top, checked with
// operations that do not commute (a quarter turn and a move), so that a swapped side shows.
#include <gtest/gtest.h>

#include "math/D3DXMath.h"
#include "platform/d3d9/D3D9.h"

namespace {

struct Stack {
    ID3DXMatrixStack* stack = nullptr;
    Stack() { EXPECT_EQ(D3DXCreateMatrixStack(0, &stack), D3D_OK); }
    ~Stack() {
        if (stack) {
            EXPECT_EQ(stack->Release(), 0u);
        }
    }
    ID3DXMatrixStack* operator->() const { return stack; }
};

D3DXVECTOR3 Through(ID3DXMatrixStack* stack, D3DXVECTOR3 p) {
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &p, stack->GetTop());
    return out;
}

void ExpectPoint(const D3DXVECTOR3& got, float x, float y, float z) {
    EXPECT_NEAR(got.x, x, 1e-5);
    EXPECT_NEAR(got.y, y, 1e-5);
    EXPECT_NEAR(got.z, z, 1e-5);
}

const D3DXVECTOR3 kZ(0, 0, 1);

}  // namespace

TEST(MatrixStack, StartsWithOneIdentityAndKeepsIt) {
    Stack s;
    ASSERT_NE(s.stack, nullptr);
    EXPECT_TRUE(D3DXMatrixIsIdentity(s->GetTop()));
    EXPECT_EQ(s->Pop(), D3DERR_INVALIDCALL);  // the last matrix stays
    EXPECT_TRUE(D3DXMatrixIsIdentity(s->GetTop()));
    EXPECT_EQ(D3DXCreateMatrixStack(0, nullptr), D3DERR_INVALIDCALL);
}

TEST(MatrixStack, PushCopiesTheTopAndPopReturnsToIt) {
    Stack s;
    ASSERT_EQ(s->Translate(1, 2, 3), D3D_OK);
    ASSERT_EQ(s->Push(), D3D_OK);
    ExpectPoint(Through(s.stack, {0, 0, 0}), 1, 2, 3);  // the copy
    ASSERT_EQ(s->Scale(2, 2, 2), D3D_OK);
    ExpectPoint(Through(s.stack, {0, 0, 0}), 2, 4, 6);
    ASSERT_EQ(s->Pop(), D3D_OK);
    ExpectPoint(Through(s.stack, {0, 0, 0}), 1, 2, 3);
    ASSERT_EQ(s->LoadIdentity(), D3D_OK);
    EXPECT_TRUE(D3DXMatrixIsIdentity(s->GetTop()));
}

// Row vectors: p * (A * B) applies A first. The plain forms make the top A * M (M after), the Local forms M * A.
TEST(MatrixStack, PlainFormsApplyAfterTheTopLocalFormsBefore) {
    struct Case {
        const char* name;
        HRESULT (*then)(ID3DXMatrixStack*);  // applied after a quarter turn about z
        D3DXVECTOR3 expected;                // where (1, 0, 0) goes
    } const cases[] = {
        {"Translate", [](ID3DXMatrixStack* s) { return s->Translate(1, 0, 0); }, {1, 1, 0}},
        {"TranslateLocal", [](ID3DXMatrixStack* s) { return s->TranslateLocal(1, 0, 0); }, {0, 2, 0}},
        {"Scale", [](ID3DXMatrixStack* s) { return s->Scale(3, 1, 1); }, {0, 1, 0}},
        {"ScaleLocal", [](ID3DXMatrixStack* s) { return s->ScaleLocal(3, 1, 1); }, {0, 3, 0}},
        {"RotateAxis", [](ID3DXMatrixStack* s) { return s->RotateAxis(&kZ, D3DX_PI / 2); }, {-1, 0, 0}},
        {"RotateYawPitchRoll (yaw about y)",
         [](ID3DXMatrixStack* s) { return s->RotateYawPitchRoll(D3DX_PI / 2, 0, 0); },
         {0, 1, 0}},
        {"RotateYawPitchRollLocal",
         [](ID3DXMatrixStack* s) { return s->RotateYawPitchRollLocal(D3DX_PI / 2, 0, 0); },
         {0, 0, -1}},
        {"MultMatrix",
         [](ID3DXMatrixStack* s) {
             D3DXMATRIX t;
             return s->MultMatrix(D3DXMatrixTranslation(&t, 0, 0, 5));
         },
         {0, 1, 5}},
        {"MultMatrixLocal",
         [](ID3DXMatrixStack* s) {
             D3DXMATRIX t;
             return s->MultMatrixLocal(D3DXMatrixTranslation(&t, 2, 0, 0));
         },
         {0, 3, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Stack s;
        ASSERT_EQ(s->RotateAxis(&kZ, D3DX_PI / 2), D3D_OK);  // (1, 0, 0) -> (0, 1, 0)
        ASSERT_EQ(c.then(s.stack), D3D_OK);
        const D3DXVECTOR3 p = Through(s.stack, {1, 0, 0});
        ExpectPoint(p, c.expected.x, c.expected.y, c.expected.z);
    }
}

TEST(MatrixStack, RefusesNullArgumentsAndAnswersItsInterfaces) {
    Stack s;
    EXPECT_EQ(s->LoadMatrix(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(s->MultMatrix(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(s->MultMatrixLocal(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(s->RotateAxis(nullptr, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(s->RotateAxisLocal(nullptr, 1), D3DERR_INVALIDCALL);
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 4, 5, 6);
    ASSERT_EQ(s->LoadMatrix(&m), D3D_OK);
    EXPECT_EQ(*s->GetTop(), m);
    void* same = nullptr;
    ASSERT_EQ(s->QueryInterface(IID_ID3DXMatrixStack, &same), S_OK);
    EXPECT_EQ(same, s.stack);
    EXPECT_EQ(s->Release(), 1u);  // the reference QueryInterface added
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(s->QueryInterface(IID_IDirect3DDevice9, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}
