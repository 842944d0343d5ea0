#pragma once

#include <cmath>

struct Vec3
{
    double x = 0, y = 0, z = 0;
    double &operator[](int axis) { return axis == 0 ? x : axis == 1 ? y : z; }
    double operator[](int axis) const { return axis == 0 ? x : axis == 1 ? y : z; }
};

inline Vec3 operator+(Vec3 a, Vec3 b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(Vec3 a, Vec3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator*(Vec3 a, double f)
{
    return {a.x * f, a.y * f, a.z * f};
}
inline double length(Vec3 a)
{
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}
