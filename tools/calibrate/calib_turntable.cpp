#include "calibrate/calib_turntable.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

Eigen::Vector3d eig(Vec3 v) { return {v.x, v.y, v.z}; }
Vec3 vec(const Eigen::Vector3d& v) { return {v.x(), v.y(), v.z()}; }

Eigen::Matrix3d rotation(const Eigen::Vector3d& axis, double radians) {
    return Eigen::AngleAxisd(radians, axis).toRotationMatrix();
}

// The parameters of the turn: the axis as a small change of a0 in the plane
// across it, its point likewise from p0, the angle of each pose but the
// reference, and every corner at the reference angle.
struct Model {
    Eigen::Vector3d a0, p0, u, v;
    int poses, corners, reference;

    int size() const { return 4 + (poses - 1) + 3 * corners; }
    Eigen::Vector3d axis(const Eigen::VectorXd& x) const {
        return (a0 + x[0] * u + x[1] * v).normalized();
    }
    Eigen::Vector3d point(const Eigen::VectorXd& x) const { return p0 + x[2] * u + x[3] * v; }
    double angle(const Eigen::VectorXd& x, int k) const {
        if (k == reference) return 0;
        return x[4 + (k < reference ? k : k - 1)];
    }
    Eigen::Vector3d corner(const Eigen::VectorXd& x, int i) const {
        return x.segment<3>(4 + (poses - 1) + 3 * i);
    }
};

Eigen::VectorXd residuals(const Model& m, const Eigen::VectorXd& x,
                          const std::vector<std::vector<Vec3>>& poses) {
    Eigen::VectorXd r(3 * m.poses * m.corners);
    const Eigen::Vector3d a = m.axis(x), p = m.point(x);
    for (int k = 0; k < m.poses; ++k) {
        const Eigen::Matrix3d turn = rotation(a, m.angle(x, k));
        for (int i = 0; i < m.corners; ++i)
            r.segment<3>(3 * (k * m.corners + i)) =
                p + turn * (m.corner(x, i) - p) - eig(poses[k][i]);
    }
    return r;
}

}  // namespace

double calibRigidFit(const std::vector<Vec3>& rigid, const std::vector<Vec3>& target,
                     double rotationOut[9], Vec3* translation) {
    const size_t n = rigid.size();
    Eigen::Vector3d ca = Eigen::Vector3d::Zero(), cb = Eigen::Vector3d::Zero();
    for (size_t i = 0; i < n; ++i) {
        ca += eig(rigid[i]);
        cb += eig(target[i]);
    }
    ca /= static_cast<double>(n);
    cb /= static_cast<double>(n);
    Eigen::Matrix3d h = Eigen::Matrix3d::Zero();
    for (size_t i = 0; i < n; ++i) h += (eig(rigid[i]) - ca) * (eig(target[i]) - cb).transpose();
    Eigen::JacobiSVD<Eigen::Matrix3d> svd(h, Eigen::ComputeFullU | Eigen::ComputeFullV);
    Eigen::Matrix3d d = Eigen::Matrix3d::Identity();
    if ((svd.matrixV() * svd.matrixU().transpose()).determinant() < 0) d(2, 2) = -1;
    const Eigen::Matrix3d r = svd.matrixV() * d * svd.matrixU().transpose();
    const Eigen::Vector3d t = cb - r * ca;
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += (r * eig(rigid[i]) + t - eig(target[i])).squaredNorm();
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) rotationOut[3 * row + col] = r(row, col);
    *translation = vec(t);
    return std::sqrt(sum / std::max<size_t>(1, n));
}

bool calibFitTurn(const std::vector<std::vector<Vec3>>& poses, int reference, Vec3 up,
                  CalibTurnFit* fit, std::string* error) {
    const int k = static_cast<int>(poses.size());
    if (k < 3) {
        *error = "fewer than three turntable poses";
        return false;
    }
    const int n = static_cast<int>(poses[0].size());
    const Eigen::Vector3d upE = eig(normalized(up));

    // A start from each pose's rigid motion relative to the reference: its
    // rotation's axis and angle, and the points that motion leaves in place.
    Eigen::Vector3d axisSum = Eigen::Vector3d::Zero();
    std::vector<Eigen::Matrix3d> turns(k);
    std::vector<Eigen::Vector3d> shifts(k);
    std::vector<double> start(k, 0.0);
    for (int q = 0; q < k; ++q) {
        double r[9];
        Vec3 t;
        calibRigidFit(poses[reference], poses[q], r, &t);
        Eigen::Matrix3d m;
        m << r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8];
        turns[q] = m;
        shifts[q] = eig(t);
        if (q == reference) continue;
        Eigen::AngleAxisd aa(m);
        Eigen::Vector3d axis = aa.axis();
        double angle = aa.angle();
        if (axis.dot(upE) < 0) {
            axis = -axis;
            angle = -angle;
        }
        start[q] = angle;
        axisSum += std::fabs(std::sin(angle)) * axis;
    }
    if (axisSum.norm() < 1e-9) {
        *error = "the board did not turn between the turntable photographs";
        return false;
    }
    const Eigen::Vector3d a0 = axisSum.normalized();
    // (I - R) p = t for every pose, and p level with the board's centroid.
    Eigen::MatrixXd lhs(3 * (k - 1) + 1, 3);
    Eigen::VectorXd rhs(3 * (k - 1) + 1);
    int row = 0;
    for (int q = 0; q < k; ++q) {
        if (q == reference) continue;
        lhs.block<3, 3>(row, 0) = Eigen::Matrix3d::Identity() - turns[q];
        rhs.segment<3>(row) = shifts[q];
        row += 3;
    }
    Eigen::Vector3d centroid = Eigen::Vector3d::Zero();
    for (const Vec3& c : poses[reference]) centroid += eig(c);
    centroid /= n;
    lhs.block<1, 3>(row, 0) = a0.transpose();
    rhs[row] = a0.dot(centroid);
    const Eigen::Vector3d p0 = lhs.colPivHouseholderQr().solve(rhs);

    Model m;
    m.a0 = a0;
    m.p0 = p0;
    m.u = a0.unitOrthogonal();
    m.v = a0.cross(m.u);
    m.poses = k;
    m.corners = n;
    m.reference = reference;
    Eigen::VectorXd x = Eigen::VectorXd::Zero(m.size());
    for (int q = 0; q < k; ++q)
        if (q != reference) x[4 + (q < reference ? q : q - 1)] = start[q];
    for (int i = 0; i < n; ++i) x.segment<3>(4 + (k - 1) + 3 * i) = eig(poses[reference][i]);

    // Levenberg-Marquardt with a forward-difference Jacobian (a few hundred
    // parameters at most).
    Eigen::VectorXd r = residuals(m, x, poses);
    double cost = r.squaredNorm(), lambda = 1e-3;
    for (int iteration = 0; iteration < 50; ++iteration) {
        Eigen::MatrixXd j(r.size(), m.size());
        for (int c = 0; c < m.size(); ++c) {
            Eigen::VectorXd y = x;
            const double h = 1e-7 * std::max(1.0, std::fabs(x[c]));
            y[c] += h;
            j.col(c) = (residuals(m, y, poses) - r) / h;
        }
        const Eigen::MatrixXd jtj = j.transpose() * j;
        const Eigen::VectorXd g = j.transpose() * r;
        bool improved = false;
        for (int tries = 0; tries < 10 && !improved; ++tries) {
            Eigen::MatrixXd a = jtj;
            a.diagonal() += lambda * jtj.diagonal().cwiseMax(1e-12);
            const Eigen::VectorXd step = a.ldlt().solve(-g);
            const Eigen::VectorXd y = x + step;
            const Eigen::VectorXd ry = residuals(m, y, poses);
            if (ry.squaredNorm() < cost) {
                const double gain = cost - ry.squaredNorm();
                x = y;
                r = ry;
                cost = r.squaredNorm();
                lambda = std::max(1e-9, lambda * 0.3);
                improved = true;
                if (gain < 1e-14 * std::max(1.0, cost)) iteration = 1000;
            } else {
                lambda *= 10;
            }
        }
        if (!improved) break;
    }

    fit->direction = vec(m.axis(x));
    const Eigen::Vector3d a = m.axis(x);
    // The axis' point nearest the corners' centroid.
    Eigen::Vector3d mean = Eigen::Vector3d::Zero();
    fit->board.clear();
    for (int i = 0; i < n; ++i) {
        fit->board.push_back(vec(m.corner(x, i)));
        mean += m.corner(x, i);
    }
    mean /= n;
    const Eigen::Vector3d p = m.point(x);
    fit->point = vec(p + a * a.dot(mean - p));
    fit->degrees.clear();
    for (int q = 0; q < k; ++q) fit->degrees.push_back(m.angle(x, q) * 180.0 / kPi);
    fit->residual = std::sqrt(cost / (static_cast<double>(k) * n));
    return true;
}
