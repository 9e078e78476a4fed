// 4 x 4 matrix and 4-vector algebra in double precision.
//
// Plain values, passed and returned by copy; nothing allocates, keeps state or
// reports. The operations keep the order of their sums as written below: the
// point files are compared digit for digit with other builds of this algebra.
#pragma once

struct Vector4 {
    double x, y, z, w;
};

// Sixteen doubles column by column: element (row i, column j) is m[i + 4 * j].
struct Matrix4 {
    double m[16];
};

constexpr double kPi = 3.141592653589793;

// (x, y, z) scaled to unit length, w kept; a direction of length 1e-9 or less
// is returned unchanged.
Vector4 vecNormalize(Vector4 v);

// M v, each row summed as m(i,0) x + m(i,1) y + m(i,2) z + m(i,3) w.
Vector4 matMulVec(Matrix4 m, Vector4 v);

// Right-handed rotation by `angle` degrees about the axis (ax, ay, az), which
// need not have unit length; an axis shorter than 1e-9 gives the identity.
Matrix4 matRotation(double angle, double ax, double ay, double az);

// A B: B is applied first.
Matrix4 matMul(Matrix4 a, Matrix4 b);

// Expansion along row 0 with 3 x 3 minors built from the 2 x 2 determinants
// of rows 2 and 3.
double matDeterminant(Matrix4 m);

// x with A x = b by cofactors (Cramer's rule); the zero vector when
// |det A| < 1e-8.
Vector4 matSolve(Matrix4 a, Vector4 b);

// The sixteen values as the matrix reads on paper, row by row.
Matrix4 matFromRows(double a0, double a1, double a2, double a3, double a4, double a5, double a6,
                    double a7, double a8, double a9, double a10, double a11, double a12,
                    double a13, double a14, double a15);

// Element (row, col).
inline double matAt(const Matrix4& m, int row, int col) { return m.m[row + 4 * col]; }

// The transpose, formed by reading the stored values as rows.
Matrix4 matTranspose(Matrix4 m);
