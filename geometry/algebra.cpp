#include "geometry/algebra.h"

#include <cmath>

namespace {

// Determinant of the 3 x 3 matrix of rows r0 < r1 < r2 and columns c0 < c1 < c2
// of m, expanded along its first row; the 2 x 2 minors come from its last two
// rows.
double minor3(const Matrix4& m, const int r[3], const int c[3]) {
    const double a = matAt(m, r[0], c[0]), b = matAt(m, r[0], c[1]), cc = matAt(m, r[0], c[2]);
    const double d = matAt(m, r[1], c[0]), e = matAt(m, r[1], c[1]), f = matAt(m, r[1], c[2]);
    const double g = matAt(m, r[2], c[0]), h = matAt(m, r[2], c[1]), i = matAt(m, r[2], c[2]);
    return a * (e * i - f * h) - b * (d * i - f * g) + cc * (d * h - e * g);
}

// The three indices 0..3 other than `skip`, in increasing order.
void others(int skip, int out[3]) {
    for (int i = 0, n = 0; i < 4; ++i) {
        if (i != skip) out[n++] = i;
    }
}

// Cofactor of element (row, col): the signed determinant of the rest.
double cofactor(const Matrix4& m, int row, int col) {
    int r[3], c[3];
    others(row, r);
    others(col, c);
    const double d = minor3(m, r, c);
    return (row + col) % 2 == 0 ? d : -d;
}

}  // namespace

Vector4 vecNormalize(Vector4 v) {
    const double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (len > 1e-9) {
        const double r = 1.0 / len;
        return Vector4{v.x * r, v.y * r, v.z * r, v.w};
    }
    return v;
}

Vector4 matMulVec(Matrix4 m, Vector4 v) {
    const double* a = m.m;
    return Vector4{
        a[0] * v.x + a[4] * v.y + a[8] * v.z + a[12] * v.w,
        a[1] * v.x + a[5] * v.y + a[9] * v.z + a[13] * v.w,
        a[2] * v.x + a[6] * v.y + a[10] * v.z + a[14] * v.w,
        a[3] * v.x + a[7] * v.y + a[11] * v.z + a[15] * v.w,
    };
}

Matrix4 matRotation(double angle, double ax, double ay, double az) {
    const double theta = angle * kPi / 180.0;
    const double len = std::sqrt(ax * ax + ay * ay + az * az);
    if (len < 1e-9) {
        return matFromRows(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    }
    const double x = ax / len, y = ay / len, z = az / len;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    const double t = 1.0 - c;
    return matFromRows(t * x * x + c, t * x * y - z * s, t * x * z + y * s, 0.0,
                       t * x * y + z * s, t * y * y + c, t * y * z - x * s, 0.0,
                       t * x * z - y * s, t * y * z + x * s, t * z * z + c, 0.0,
                       0.0, 0.0, 0.0, 1.0);
}

Matrix4 matMul(Matrix4 a, Matrix4 b) {
    Matrix4 r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.m[i + 4 * j] = matAt(a, i, 0) * matAt(b, 0, j) + matAt(a, i, 1) * matAt(b, 1, j) +
                             matAt(a, i, 2) * matAt(b, 2, j) + matAt(a, i, 3) * matAt(b, 3, j);
        }
    }
    return r;
}

double matDeterminant(Matrix4 m) {
    const int rows[3] = {1, 2, 3};
    int c0[3], c1[3], c2[3], c3[3];
    others(0, c0);
    others(1, c1);
    others(2, c2);
    others(3, c3);
    return matAt(m, 0, 0) * minor3(m, rows, c0) - matAt(m, 0, 1) * minor3(m, rows, c1) +
           matAt(m, 0, 2) * minor3(m, rows, c2) - matAt(m, 0, 3) * minor3(m, rows, c3);
}

Vector4 matSolve(Matrix4 a, Vector4 b) {
    Vector4 x{0.0, 0.0, 0.0, 0.0};
    const double d = matDeterminant(a);
    if (std::fabs(d) < 1e-8) return x;
    const double bv[4] = {b.x, b.y, b.z, b.w};
    double out[4];
    // Component i is the sum over j of K(j, i) * b_j / d, K the cofactors of A:
    // the adjugate times b over d, without forming the inverse.
    for (int i = 0; i < 4; ++i) {
        double sum = cofactor(a, 0, i) * bv[0] / d;
        for (int j = 1; j < 4; ++j) sum += cofactor(a, j, i) * bv[j] / d;
        out[i] = sum;
    }
    return Vector4{out[0], out[1], out[2], out[3]};
}

Matrix4 matFromRows(double a0, double a1, double a2, double a3, double a4, double a5, double a6,
                    double a7, double a8, double a9, double a10, double a11, double a12,
                    double a13, double a14, double a15) {
    return Matrix4{{a0, a4, a8, a12, a1, a5, a9, a13, a2, a6, a10, a14, a3, a7, a11, a15}};
}

Matrix4 matTranspose(Matrix4 m) {
    const double* v = m.m;
    return matFromRows(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11],
                       v[12], v[13], v[14], v[15]);
}
