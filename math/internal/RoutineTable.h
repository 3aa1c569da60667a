// The process-wide table of math routines: one slot per dispatched routine, filled on first use with the set that
// suits the processor. The sets are exposed here so that tests and benchmarks can build and compare them. The
// library's internals live in tarn::math (reference routines in tarn::math::reference, helpers in
// tarn::math::detail and tarn::math::simd); only the dispatched entries keep global names.
#pragma once

#include "math/D3DXMath.h"

// Mesh-support routines that have a slot but no public entry.
// Slot 70: out[i] = sum over k < influences of weights[i*influences+k] * ((v[i], 1) * palette[indices[...]]).xyz;
// out may be v.
D3DXVECTOR3* MathBlendVertices(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const FLOAT* pWeights, const BYTE* pIndices,
                               UINT influences, const D3DXMATRIX* pPalette, UINT n);
// Slot 71: the ten cubic control points of a curved triangle from its corners and normals, in the order
// b300 b030 b003 b210 b120 b021 b012 b102 b201 b111 (edge points at thirds pulled onto the corner tangent planes).
D3DXVECTOR3* MathCurvedTriangleControlPoints(D3DXVECTOR3* pOut, const D3DXVECTOR3* pPositions,
                                             const D3DXVECTOR3* pNormals);

// X(slot, result, name, (parameters), (arguments))
#define TARN_MATH_SLOTS(X)                                                                                          \
    X(0, D3DXVECTOR4*, D3DXVec2Transform, (D3DXVECTOR4 * o, const D3DXVECTOR2* v, const D3DXMATRIX* m), (o, v, m)) \
    X(1, D3DXVECTOR4*, D3DXVec3Transform, (D3DXVECTOR4 * o, const D3DXVECTOR3* v, const D3DXMATRIX* m), (o, v, m)) \
    X(2, D3DXVECTOR4*, D3DXVec4Transform, (D3DXVECTOR4 * o, const D3DXVECTOR4* v, const D3DXMATRIX* m), (o, v, m)) \
    X(3, D3DXMATRIX*, D3DXMatrixMultiply, (D3DXMATRIX * o, const D3DXMATRIX* a, const D3DXMATRIX* b), (o, a, b))    \
    X(4, D3DXMATRIX*, D3DXMatrixMultiplyTranspose, (D3DXMATRIX * o, const D3DXMATRIX* a, const D3DXMATRIX* b),      \
      (o, a, b))                                                                                                    \
    X(5, D3DXVECTOR2*, D3DXVec2TransformNormal, (D3DXVECTOR2 * o, const D3DXVECTOR2* v, const D3DXMATRIX* m),       \
      (o, v, m))                                                                                                    \
    X(6, D3DXVECTOR3*, D3DXVec3TransformNormal, (D3DXVECTOR3 * o, const D3DXVECTOR3* v, const D3DXMATRIX* m),       \
      (o, v, m))                                                                                                    \
    X(7, D3DXVECTOR3*, D3DXVec3Normalize, (D3DXVECTOR3 * o, const D3DXVECTOR3* v), (o, v))                          \
    X(8, D3DXVECTOR4*, D3DXVec4Normalize, (D3DXVECTOR4 * o, const D3DXVECTOR4* v), (o, v))                          \
    X(9, D3DXVECTOR2*, D3DXVec2TransformCoord, (D3DXVECTOR2 * o, const D3DXVECTOR2* v, const D3DXMATRIX* m),        \
      (o, v, m))                                                                                                    \
    X(10, D3DXVECTOR3*, D3DXVec3TransformCoord, (D3DXVECTOR3 * o, const D3DXVECTOR3* v, const D3DXMATRIX* m),       \
      (o, v, m))                                                                                                    \
    X(11, FLOAT, D3DXMatrixDeterminant, (const D3DXMATRIX* m), (m))                                                 \
    X(12, HRESULT, D3DXMatrixDecompose,                                                                             \
      (D3DXVECTOR3 * s, D3DXQUATERNION * r, D3DXVECTOR3 * t, const D3DXMATRIX* m), (s, r, t, m))                    \
    X(13, D3DXPLANE*, D3DXPlaneFromPointNormal, (D3DXPLANE * o, const D3DXVECTOR3* p, const D3DXVECTOR3* n),        \
      (o, p, n))                                                                                                    \
    X(14, D3DXPLANE*, D3DXPlaneFromPoints,                                                                          \
      (D3DXPLANE * o, const D3DXVECTOR3* a, const D3DXVECTOR3* b, const D3DXVECTOR3* c), (o, a, b, c))              \
    X(15, D3DXVECTOR3*, D3DXVec3Project,                                                                            \
      (D3DXVECTOR3 * o, const D3DXVECTOR3* v, const D3DVIEWPORT9* vp, const D3DXMATRIX* p, const D3DXMATRIX* vw,    \
       const D3DXMATRIX* w),                                                                                        \
      (o, v, vp, p, vw, w))                                                                                         \
    X(16, D3DXVECTOR3*, D3DXVec3Unproject,                                                                          \
      (D3DXVECTOR3 * o, const D3DXVECTOR3* v, const D3DVIEWPORT9* vp, const D3DXMATRIX* p, const D3DXMATRIX* vw,    \
       const D3DXMATRIX* w),                                                                                        \
      (o, v, vp, p, vw, w))                                                                                         \
    X(17, D3DXVECTOR4*, D3DXVec4Cross,                                                                              \
      (D3DXVECTOR4 * o, const D3DXVECTOR4* a, const D3DXVECTOR4* b, const D3DXVECTOR4* c), (o, a, b, c))            \
    X(18, D3DXVECTOR2*, D3DXVec2Hermite,                                                                            \
      (D3DXVECTOR2 * o, const D3DXVECTOR2* a, const D3DXVECTOR2* ta, const D3DXVECTOR2* b, const D3DXVECTOR2* tb,   \
       FLOAT s),                                                                                                    \
      (o, a, ta, b, tb, s))                                                                                         \
    X(19, D3DXMATRIX*, D3DXMatrixInverse, (D3DXMATRIX * o, FLOAT * det, const D3DXMATRIX* m), (o, det, m))          \
    X(20, D3DXQUATERNION*, D3DXQuaternionMultiply,                                                                  \
      (D3DXQUATERNION * o, const D3DXQUATERNION* a, const D3DXQUATERNION* b), (o, a, b))                            \
    X(21, D3DXQUATERNION*, D3DXQuaternionNormalize, (D3DXQUATERNION * o, const D3DXQUATERNION* q), (o, q))          \
    X(22, D3DXPLANE*, D3DXPlaneNormalize, (D3DXPLANE * o, const D3DXPLANE* p), (o, p))                              \
    X(23, D3DXVECTOR3*, D3DXPlaneIntersectLine,                                                                     \
      (D3DXVECTOR3 * o, const D3DXPLANE* p, const D3DXVECTOR3* a, const D3DXVECTOR3* b), (o, p, a, b))              \
    X(24, void, D3DXQuaternionToAxisAngle, (const D3DXQUATERNION* q, D3DXVECTOR3* axis, FLOAT* angle),              \
      (q, axis, angle))                                                                                             \
    X(25, D3DXQUATERNION*, D3DXQuaternionRotationMatrix, (D3DXQUATERNION * o, const D3DXMATRIX* m), (o, m))         \
    X(26, D3DXQUATERNION*, D3DXQuaternionRotationYawPitchRoll, (D3DXQUATERNION * o, FLOAT y, FLOAT p, FLOAT r),     \
      (o, y, p, r))                                                                                                 \
    X(27, D3DXMATRIX*, D3DXMatrixTranslation, (D3DXMATRIX * o, FLOAT x, FLOAT y, FLOAT z), (o, x, y, z))            \
    X(28, D3DXMATRIX*, D3DXMatrixShadow, (D3DXMATRIX * o, const D3DXVECTOR4* l, const D3DXPLANE* p), (o, l, p))     \
    X(29, D3DXMATRIX*, D3DXMatrixReflect, (D3DXMATRIX * o, const D3DXPLANE* p), (o, p))                             \
    X(30, D3DXQUATERNION*, D3DXQuaternionRotationAxis, (D3DXQUATERNION * o, const D3DXVECTOR3* v, FLOAT a),         \
      (o, v, a))                                                                                                    \
    X(31, D3DXMATRIX*, D3DXMatrixRotationX, (D3DXMATRIX * o, FLOAT a), (o, a))                                      \
    X(32, D3DXMATRIX*, D3DXMatrixRotationY, (D3DXMATRIX * o, FLOAT a), (o, a))                                      \
    X(33, D3DXMATRIX*, D3DXMatrixRotationZ, (D3DXMATRIX * o, FLOAT a), (o, a))                                      \
    X(34, D3DXMATRIX*, D3DXMatrixScaling, (D3DXMATRIX * o, FLOAT x, FLOAT y, FLOAT z), (o, x, y, z))                \
    X(35, D3DXPLANE*, D3DXPlaneTransform, (D3DXPLANE * o, const D3DXPLANE* p, const D3DXMATRIX* m), (o, p, m))      \
    X(36, D3DXQUATERNION*, D3DXQuaternionSlerp,                                                                     \
      (D3DXQUATERNION * o, const D3DXQUATERNION* a, const D3DXQUATERNION* b, FLOAT t), (o, a, b, t))                \
    X(37, D3DXQUATERNION*, D3DXQuaternionBaryCentric,                                                               \
      (D3DXQUATERNION * o, const D3DXQUATERNION* a, const D3DXQUATERNION* b, const D3DXQUATERNION* c, FLOAT f,      \
       FLOAT g),                                                                                                    \
      (o, a, b, c, f, g))                                                                                           \
    X(38, D3DXMATRIX*, D3DXMatrixTranspose, (D3DXMATRIX * o, const D3DXMATRIX* m), (o, m))                          \
    X(39, D3DXMATRIX*, D3DXMatrixRotationQuaternion, (D3DXMATRIX * o, const D3DXQUATERNION* q), (o, q))             \
    X(40, D3DXMATRIX*, D3DXMatrixTransformation,                                                                    \
      (D3DXMATRIX * o, const D3DXVECTOR3* sc, const D3DXQUATERNION* sr, const D3DXVECTOR3* s,                       \
       const D3DXVECTOR3* rc, const D3DXQUATERNION* r, const D3DXVECTOR3* t),                                       \
      (o, sc, sr, s, rc, r, t))                                                                                     \
    X(41, D3DXMATRIX*, D3DXMatrixRotationYawPitchRoll, (D3DXMATRIX * o, FLOAT y, FLOAT p, FLOAT r), (o, y, p, r))   \
    X(42, D3DXMATRIX*, D3DXMatrixAffineTransformation,                                                              \
      (D3DXMATRIX * o, FLOAT s, const D3DXVECTOR3* rc, const D3DXQUATERNION* r, const D3DXVECTOR3* t),              \
      (o, s, rc, r, t))                                                                                             \
    X(43, D3DXMATRIX*, D3DXMatrixRotationAxis, (D3DXMATRIX * o, const D3DXVECTOR3* v, FLOAT a), (o, v, a))          \
    X(44, D3DXQUATERNION*, D3DXQuaternionSquad,                                                                     \
      (D3DXQUATERNION * o, const D3DXQUATERNION* q, const D3DXQUATERNION* a, const D3DXQUATERNION* b,               \
       const D3DXQUATERNION* c, FLOAT t),                                                                           \
      (o, q, a, b, c, t))                                                                                           \
    X(45, D3DXQUATERNION*, D3DXQuaternionInverse, (D3DXQUATERNION * o, const D3DXQUATERNION* q), (o, q))            \
    X(46, void, D3DXQuaternionSquadSetup,                                                                           \
      (D3DXQUATERNION * a, D3DXQUATERNION * b, D3DXQUATERNION * c, const D3DXQUATERNION* q0,                        \
       const D3DXQUATERNION* q1, const D3DXQUATERNION* q2, const D3DXQUATERNION* q3),                               \
      (a, b, c, q0, q1, q2, q3))                                                                                    \
    X(47, D3DXVECTOR2*, D3DXVec2Normalize, (D3DXVECTOR2 * o, const D3DXVECTOR2* v), (o, v))                         \
    X(48, D3DXVECTOR2*, D3DXVec2CatmullRom,                                                                         \
      (D3DXVECTOR2 * o, const D3DXVECTOR2* a, const D3DXVECTOR2* b, const D3DXVECTOR2* c, const D3DXVECTOR2* d,     \
       FLOAT s),                                                                                                    \
      (o, a, b, c, d, s))                                                                                           \
    X(49, D3DXVECTOR2*, D3DXVec2BaryCentric,                                                                        \
      (D3DXVECTOR2 * o, const D3DXVECTOR2* a, const D3DXVECTOR2* b, const D3DXVECTOR2* c, FLOAT f, FLOAT g),        \
      (o, a, b, c, f, g))                                                                                           \
    X(50, D3DXVECTOR3*, D3DXVec3Hermite,                                                                            \
      (D3DXVECTOR3 * o, const D3DXVECTOR3* a, const D3DXVECTOR3* ta, const D3DXVECTOR3* b, const D3DXVECTOR3* tb,   \
       FLOAT s),                                                                                                    \
      (o, a, ta, b, tb, s))                                                                                         \
    X(51, D3DXVECTOR3*, D3DXVec3CatmullRom,                                                                         \
      (D3DXVECTOR3 * o, const D3DXVECTOR3* a, const D3DXVECTOR3* b, const D3DXVECTOR3* c, const D3DXVECTOR3* d,     \
       FLOAT s),                                                                                                    \
      (o, a, b, c, d, s))                                                                                           \
    X(52, D3DXVECTOR3*, D3DXVec3BaryCentric,                                                                        \
      (D3DXVECTOR3 * o, const D3DXVECTOR3* a, const D3DXVECTOR3* b, const D3DXVECTOR3* c, FLOAT f, FLOAT g),        \
      (o, a, b, c, f, g))                                                                                           \
    X(53, D3DXVECTOR4*, D3DXVec4Hermite,                                                                            \
      (D3DXVECTOR4 * o, const D3DXVECTOR4* a, const D3DXVECTOR4* ta, const D3DXVECTOR4* b, const D3DXVECTOR4* tb,   \
       FLOAT s),                                                                                                    \
      (o, a, ta, b, tb, s))                                                                                         \
    X(54, D3DXVECTOR4*, D3DXVec4CatmullRom,                                                                         \
      (D3DXVECTOR4 * o, const D3DXVECTOR4* a, const D3DXVECTOR4* b, const D3DXVECTOR4* c, const D3DXVECTOR4* d,     \
       FLOAT s),                                                                                                    \
      (o, a, b, c, d, s))                                                                                           \
    X(55, D3DXVECTOR4*, D3DXVec4BaryCentric,                                                                        \
      (D3DXVECTOR4 * o, const D3DXVECTOR4* a, const D3DXVECTOR4* b, const D3DXVECTOR4* c, FLOAT f, FLOAT g),        \
      (o, a, b, c, f, g))                                                                                           \
    X(56, D3DXQUATERNION*, D3DXQuaternionLn, (D3DXQUATERNION * o, const D3DXQUATERNION* q), (o, q))                 \
    X(57, D3DXQUATERNION*, D3DXQuaternionExp, (D3DXQUATERNION * o, const D3DXQUATERNION* q), (o, q))                \
    X(58, D3DXFLOAT16*, D3DXFloat32To16Array, (D3DXFLOAT16 * o, const FLOAT* i, UINT n), (o, i, n))                 \
    X(59, FLOAT*, D3DXFloat16To32Array, (FLOAT * o, const D3DXFLOAT16* i, UINT n), (o, i, n))                       \
    X(60, D3DXVECTOR4*, D3DXVec2TransformArray,                                                                     \
      (D3DXVECTOR4 * o, UINT os, const D3DXVECTOR2* v, UINT vs, const D3DXMATRIX* m, UINT n), (o, os, v, vs, m, n)) \
    X(61, D3DXVECTOR2*, D3DXVec2TransformCoordArray,                                                                \
      (D3DXVECTOR2 * o, UINT os, const D3DXVECTOR2* v, UINT vs, const D3DXMATRIX* m, UINT n), (o, os, v, vs, m, n)) \
    X(62, D3DXVECTOR2*, D3DXVec2TransformNormalArray,                                                               \
      (D3DXVECTOR2 * o, UINT os, const D3DXVECTOR2* v, UINT vs, const D3DXMATRIX* m, UINT n), (o, os, v, vs, m, n)) \
    X(63, D3DXVECTOR4*, D3DXVec3TransformArray,                                                                     \
      (D3DXVECTOR4 * o, UINT os, const D3DXVECTOR3* v, UINT vs, const D3DXMATRIX* m, UINT n), (o, os, v, vs, m, n)) \
    X(64, D3DXVECTOR3*, D3DXVec3TransformCoordArray,                                                                \
      (D3DXVECTOR3 * o, UINT os, const D3DXVECTOR3* v, UINT vs, const D3DXMATRIX* m, UINT n), (o, os, v, vs, m, n)) \
    X(65, D3DXVECTOR3*, D3DXVec3TransformNormalArray,                                                               \
      (D3DXVECTOR3 * o, UINT os, const D3DXVECTOR3* v, UINT vs, const D3DXMATRIX* m, UINT n), (o, os, v, vs, m, n)) \
    X(66, D3DXVECTOR4*, D3DXVec4TransformArray,                                                                     \
      (D3DXVECTOR4 * o, UINT os, const D3DXVECTOR4* v, UINT vs, const D3DXMATRIX* m, UINT n), (o, os, v, vs, m, n)) \
    X(67, D3DXVECTOR3*, D3DXVec3ProjectArray,                                                                       \
      (D3DXVECTOR3 * o, UINT os, const D3DXVECTOR3* v, UINT vs, const D3DVIEWPORT9* vp, const D3DXMATRIX* p,        \
       const D3DXMATRIX* vw, const D3DXMATRIX* w, UINT n),                                                          \
      (o, os, v, vs, vp, p, vw, w, n))                                                                              \
    X(68, D3DXVECTOR3*, D3DXVec3UnprojectArray,                                                                     \
      (D3DXVECTOR3 * o, UINT os, const D3DXVECTOR3* v, UINT vs, const D3DVIEWPORT9* vp, const D3DXMATRIX* p,        \
       const D3DXMATRIX* vw, const D3DXMATRIX* w, UINT n),                                                          \
      (o, os, v, vs, vp, p, vw, w, n))                                                                              \
    X(69, D3DXPLANE*, D3DXPlaneTransformArray,                                                                      \
      (D3DXPLANE * o, UINT os, const D3DXPLANE* v, UINT vs, const D3DXMATRIX* m, UINT n), (o, os, v, vs, m, n))     \
    X(70, D3DXVECTOR3*, MathBlendVertices,                                                                          \
      (D3DXVECTOR3 * o, const D3DXVECTOR3* v, const FLOAT* w, const BYTE* i, UINT k, const D3DXMATRIX* p, UINT n),  \
      (o, v, w, i, k, p, n))                                                                                        \
    X(71, D3DXVECTOR3*, MathCurvedTriangleControlPoints,                                                            \
      (D3DXVECTOR3 * o, const D3DXVECTOR3* p, const D3DXVECTOR3* n), (o, p, n))                                     \
    X(72, D3DXMATRIX*, D3DXMatrixTransformation2D,                                                                  \
      (D3DXMATRIX * o, const D3DXVECTOR2* sc, FLOAT sr, const D3DXVECTOR2* s, const D3DXVECTOR2* rc, FLOAT r,       \
       const D3DXVECTOR2* t),                                                                                       \
      (o, sc, sr, s, rc, r, t))                                                                                     \
    X(73, D3DXMATRIX*, D3DXMatrixAffineTransformation2D,                                                            \
      (D3DXMATRIX * o, FLOAT s, const D3DXVECTOR2* rc, FLOAT r, const D3DXVECTOR2* t), (o, s, rc, r, t))

namespace tarn::math {

// 74 routine pointers in slot order; each member is named after the routine it holds.
struct MathRoutineTable {
#define TARN_MATH_MEMBER(slot, result, name, params, args) result(*name) params;
    TARN_MATH_SLOTS(TARN_MATH_MEMBER)
#undef TARN_MATH_MEMBER
};
constexpr int kMathRoutineSlots = 74;
static_assert(sizeof(MathRoutineTable) == kMathRoutineSlots * sizeof(void*));

// Values of mathRoutineSet.
constexpr int kMathSetNone = 0xFFFF;     // no selection made
constexpr int kMathSetReference = 0;     // reference plus baseline
constexpr int kMathSetAmd = 1;           // 3DNow! path
constexpr int kMathSetSse2 = 2;
constexpr int kMathSetSse = 3;

// Processor flags of QueryProcessorFeatures.
constexpr DWORD kCpuIdRan = 0x1, kCpuStandardLeaves = 0x2, kCpuExtendedLeaves = 0x4, kCpuMmx = 0x20,
                kCpuSse = 0x40, kCpu3DNow = 0x80, kCpu3DNowExt = 0x100, kCpuAmdMmxExt = 0x200;
// SIMD flags of QuerySimdSupport.
constexpr DWORD kSimdSse = 4, kSimdSse2 = 8;

extern MathRoutineTable g_mathRoutines;  // the active table
extern int mathRoutineSet;
extern int mmxAllowed;  // UseMmx's answer: -1 not yet asked, 0 no, 1 yes

int InitMathRoutines(BOOL enable);
DWORD QueryProcessorFeatures();
DWORD QuerySimdSupport();

// Reads a registry value under HKEY_LOCAL_MACHINE "Software\Microsoft\Direct3D"; 1 when it was read and has
// the expected type.
int ReadDirect3DDword(DWORD expectedType, const char* valueName, void* data, DWORD size);
// Writes the four allocator warnings once per process when zero-byte new/delete misbehave.
void CheckAllocatorConformance();

// The reference set (constant) and the installers that overlay a set's slots on a table.
const MathRoutineTable& MathReferenceSet();
void InstallBaselineSet(MathRoutineTable& table);
void InstallSseSet(MathRoutineTable& table);
void InstallSse2Set(MathRoutineTable& table);
void Install3DNowSet(MathRoutineTable& table);
void InstallAthlonSet(MathRoutineTable& table);
void InstallAmdSseArraySet(MathRoutineTable& table);
// True when this build carries SSE code (x86-64); elsewhere the SSE and AMD installers leave the table as it is.
bool MathHasSimdSets();

// Piecewise-linear approximation of 1/sqrt(x) for positive normal x, unrounded (relative error within +1.5e-6 and
// -1.3e-7).
double ApproxReciprocalSqrt(float x);

}  // namespace tarn::math
