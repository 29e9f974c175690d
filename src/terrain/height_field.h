// The ground's heights. The level files hold no height map, so they are
// inferred from where the objects stand: each object pins the cell under it
// to its lowest point, large objects leave a flat footprint, ocean meshes
// lay down every triangle a unit lower, and what nothing covers is filled
// in from a pyramid of coarser grids and relaxed. The grid is a window of
// 2048 x 2048 world units that follows the camera.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "math/matrix3.h"
#include "math/vector3.h"
#include "platform/large_memory.h"

class Instance;
class Model;

// Row-major samples, the row index the y cell. While a build runs, a
// negative sample is fixed (its height the absolute value) and a positive
// one is free (1e10: nothing known yet).
struct HeightField {
    std::int32_t W = 0, H = 0;
    std::vector<float, platform::LargeAllocator<float>> samples;
    float originX = 0.0f, originY = 0.0f, originZ = 0.0f;
    float extentX = 2048.0f, extentY = 2048.0f;
    float scaleZ = 1.0f;

    float& At(std::int32_t i, std::int32_t j) { return samples[static_cast<std::size_t>(j) * W + i]; }
    float At(std::int32_t i, std::int32_t j) const { return samples[static_cast<std::size_t>(j) * W + i]; }
};

constexpr std::int32_t kHeightFieldSize = 1024;
constexpr int kPyramidLevels = 8;

struct GridPoint {
    float gx = 0.0f, gy = 0.0f;
};

// World x, y to fractional grid cells of the field's window.
GridPoint GridCoordinates(const HeightField& field, float x, float y);
// Bilinear, from the cell the coordinates fall in (clamped to the grid);
// past the last cell the nearest cell's slope carries on.
float SampleHeight(const HeightField& field, float gx, float gy);
float TerrainHeightAt(const HeightField& field, float x, float y);
// Unit normal from central differences at cell (i, j), clamped inside.
Vector3 TerrainNormalAt(const HeightField& field, std::int32_t i, std::int32_t j);

// What a build did, for reports and tests.
struct HeightFieldStats {
    std::uint64_t pinnedCells = 0;       // fixed by objects before the bounds pass
    std::uint64_t samplesTaken = 0;      // points sampled on triangles
    std::uint64_t samplesWritten = 0;    // of them (and pins), those that lowered a cell
    std::uint64_t trianglesSkipped = 0;  // too large or not finite to sample
    double rasteriseMs = 0, fillMs = 0, relaxMs = 0;  // where the time went
};

// While one lives on a thread, the builds on that thread give their core
// back (std::this_thread::yield) whenever `every` has passed since they
// last did, at points between small pieces of their work, until `lasting`
// has passed since the scope began. A build beside the frames holds one:
// on two cores the scheduler lets even a thread of the lowest priority
// finish its time slice, most of a millisecond, while a woken renderer
// thread waits for the core, and the frames of a build grew by half.
// Yielding with nothing else waiting costs a system call; with the cores
// busy it slows the build, hence the limit, well inside the second and a
// half before the fastest camera needs the window. Scopes nest; the
// innermost counts.
class GiveWayScope {
public:
    static constexpr std::chrono::microseconds kEvery{100};
    static constexpr std::chrono::milliseconds kLasting{300};
    explicit GiveWayScope(std::chrono::microseconds every = kEvery,
                          std::chrono::steady_clock::duration lasting = kLasting);
    ~GiveWayScope();
    GiveWayScope(const GiveWayScope&) = delete;
    GiveWayScope& operator=(const GiveWayScope&) = delete;

    std::uint64_t Yields() const { return yields_; }
    // A point where a build may give way: yields when the thread's
    // innermost scope is due; does nothing on a thread without one.
    static void Point();

private:
    std::chrono::microseconds every_;
    std::chrono::steady_clock::time_point start_, last_;
    std::chrono::steady_clock::duration lasting_;
    std::uint64_t yields_ = 0;
    GiveWayScope* outer_;
};

// The coarser grids of the hole filling; kept between builds.
using HeightPyramid = std::array<HeightField, kPyramidLevels>;

// What the ground needs of one object, copied from it: a build on another
// thread then reads nothing the viewer changes meanwhile (a model is never
// changed once loaded, and outlives every build).
struct GroundFootprint {
    const Model* model = nullptr;
    Vector3 position;
    float lowest = 0.0f;  // the bottom of its world box
    float scale = 1.0f;
    Matrix3 rotation;  // its model matrix
    std::uint32_t serial = 0;
    bool sea = false;       // laid down triangle by triangle
    bool excluded = false;  // left out of the ground
};
GroundFootprint FootprintOf(const Instance& instance);

// What the heights are inferred from: the instances standing in the
// terrain's bounds, in list order.
struct GroundSource {
    std::vector<GroundFootprint> footprints;
    Vector3 terrainMin{1e20f, 1e20f, 1e20f}, terrainMax{-1e20f, -1e20f, -1e20f};
    bool skipsOneFace = false;  // the level's quirk: face 12 of serial 1141 is left out
};
// The loaded level's, as it stands now.
GroundSource LevelGround();

// Fills field (whose window origin and extent are set) from the source,
// sizing its samples to W x H.
// plain: the steps exactly as written, no fast path (the fast paths must
// give the same bits). Reads nothing else, so that any thread may build a
// field of its own.
void BuildHeightField(HeightField& field, HeightPyramid& pyramid, const GroundSource& source,
                      HeightFieldStats* stats = nullptr, bool plain = false);

// The steps of a build, exposed for tests and tools; the Plain variants are
// the reference the others are pinned to.
void WriteSample(HeightField& field, const Vector3& p, HeightFieldStats* stats = nullptr);
void RasteriseTriangle(HeightField& field, const Vector3& p1, const Vector3& p2, const Vector3& p3,
                       HeightFieldStats* stats = nullptr);
void RasteriseTrianglePlain(HeightField& field, const Vector3& p1, const Vector3& p2, const Vector3& p3,
                            HeightFieldStats* stats = nullptr);
// The sea's meshes (named "ocean..." or "tocean..."), which lay every
// triangle a unit lower rather than a footprint.
bool IsSea(const Instance& instance);
void RasteriseInstance(HeightField& field, const Instance& instance, HeightFieldStats* stats = nullptr,
                       bool plain = false, bool skipsOneFace = false);
void RasteriseFootprint(HeightField& field, const GroundFootprint& footprint, HeightFieldStats* stats = nullptr,
                        bool plain = false, bool skipsOneFace = false);
void FillHoles(HeightField& grid, HeightPyramid& pyramid, int level, HeightFieldStats* stats = nullptr,
               bool plain = false);
void RelaxHeights(HeightField& grid);
void RelaxHeightsPlain(HeightField& grid);

// A triangle is sampled in rows and columns about 1.5 per world unit. Past
// these counts the float steps could no longer advance, or the sampling
// would take seconds for a triangle far larger than any level: such a
// triangle is skipped.
constexpr float kMaxRasterSteps = 4194304.0f;      // 2^22 rows or columns
constexpr double kMaxRasterSamples = 268435456.0;  // 2^28 samples
