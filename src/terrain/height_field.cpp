#include "terrain/height_field.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "diag/log.h"
#include "location/level_files.h"
#include "scene/level.h"
#include "scene/scene_model.h"

namespace {

constexpr float kUnknown = 1e10f;

// The innermost GiveWayScope of this thread: set and restored by the scopes
// (which live on the stack of the thread's build), read by Point() on the
// same thread; null on a thread without one.
thread_local GiveWayScope* tGiveWay = nullptr;

// Rows of the grid's whole-grid passes between points to give way: about
// twenty microseconds of work.
constexpr std::int32_t kRowsBetweenPoints = 64;

// A point to give way at the start of every kRowsBetweenPoints-th row.
void RowPoint(std::int32_t row) {
    if (row % kRowsBetweenPoints == 0) GiveWayScope::Point();
}

std::int32_t Clamp(std::int32_t v, std::int32_t lo, std::int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// trunc(f) as a cell index when it lies in [0, n); false otherwise, and for
// values no int could hold.
bool CellIndex(float f, std::int32_t n, std::int32_t& out) {
    if (!(f > -1.0f && f < static_cast<float>(n))) return false;
    out = static_cast<std::int32_t>(f);
    return true;
}

// trunc(f) for reading, clamped to [0, n - 1] whatever f is.
std::int32_t ClampedIndex(float f, std::int32_t n) {
    if (!(f >= 0.0f)) return 0;  // negative or not a number
    if (f >= static_cast<float>(n - 1)) return n - 1;
    return static_cast<std::int32_t>(f);
}

// Stores -z at (i, j) when that cell is in the grid and no lower height is
// there yet; reads clamp, as the position pin and WriteSample both do.
void Pin(HeightField& f, float fi, float fj, float z, HeightFieldStats* stats) {
    const float held = std::fabs(f.At(ClampedIndex(fi, f.W), ClampedIndex(fj, f.H)));
    if (!(held > z)) return;
    std::int32_t i = 0, j = 0;
    if (!CellIndex(fi, f.W, i) || !CellIndex(fj, f.H, j)) return;
    f.At(i, j) = -z;
    if (stats) ++stats->samplesWritten;
}

bool StartsWith(const char* name, const char* prefix) {
    return name && std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

bool Counts(const Model& m, const Face& f) { return FaceDrawn(m, f); }


// The sampling steps of a triangle: its edges, and how many rows and
// columns; false when the triangle is to be skipped.
struct RasterSteps {
    Vector3 e1, e2;
    std::int32_t rows = 0, columns = 0;
};

bool PlanRaster(const Vector3& p1, const Vector3& p2, const Vector3& p3, RasterSteps& out,
                HeightFieldStats* stats) {
    out.e1 = p2 - p1;
    out.e2 = p3 - p1;
    const Vector3 u = Vector3(-out.e1.y, out.e1.x, 0).Normalised();
    const Vector3 w = Vector3(out.e2.x, out.e2.y, 0).Normalised();
    const float rowsF = out.e2.Length() * std::fabs(u.Dot(w)) * 1.5f + 1.0f;
    const float columnsF = out.e1.Length() * 1.5f + 1.0f;
    if (!(rowsF < kMaxRasterSteps && columnsF < kMaxRasterSteps) ||
        static_cast<double>(rowsF) * static_cast<double>(columnsF) > kMaxRasterSamples) {
        if (stats) ++stats->trianglesSkipped;
        return false;
    }
    out.rows = static_cast<std::int32_t>(rowsF);
    out.columns = static_cast<std::int32_t>(columnsF);
    return true;
}

bool IsPowerOfTwo(float v) {
    int exponent = 0;
    return v > 0 && std::frexp(v, &exponent) == 0.5f;
}

}  // namespace

GridPoint GridCoordinates(const HeightField& field, float x, float y) {
    return {(x - field.originX) / field.extentX * static_cast<float>(field.W),
            (y - field.originY) / field.extentY * static_cast<float>(field.H)};
}

float SampleHeight(const HeightField& field, float gx, float gy) {
    if (field.W < 2 || field.H < 2 || field.samples.empty()) return 0.0f;
    const float W = static_cast<float>(field.W), H = static_cast<float>(field.H);
    gx = std::clamp(gx, 0.0f, W);
    gy = std::clamp(gy, 0.0f, H);
    if (std::isnan(gx)) gx = 0.0f;
    if (std::isnan(gy)) gy = 0.0f;
    const std::int32_t i = Clamp(static_cast<std::int32_t>(gx), 0, field.W - 2);
    const std::int32_t j = Clamp(static_cast<std::int32_t>(gy), 0, field.H - 2);
    const float fx = gx - static_cast<float>(i), fy = gy - static_cast<float>(j);
    return ((1 - fx) * field.At(i, j) + fx * field.At(i + 1, j)) * (1 - fy) +
           ((1 - fx) * field.At(i, j + 1) + fx * field.At(i + 1, j + 1)) * fy;
}

float TerrainHeightAt(const HeightField& field, float x, float y) {
    const GridPoint g = GridCoordinates(field, x, y);
    return SampleHeight(field, g.gx, g.gy) * field.scaleZ;
}

Vector3 TerrainNormalAt(const HeightField& field, std::int32_t i, std::int32_t j) {
    if (field.W < 3 || field.H < 3 || field.samples.empty()) return {0, 0, 1};
    i = Clamp(i, 1, field.W - 2);
    j = Clamp(j, 1, field.H - 2);
    const float dzx = (field.At(i + 1, j) - field.At(i - 1, j)) * field.scaleZ * 0.5f;
    const float dzy = (field.At(i, j + 1) - field.At(i, j - 1)) * field.scaleZ * 0.5f;
    const float sx = field.extentX / static_cast<float>(field.W - 1);
    const float sy = field.extentY / static_cast<float>(field.W - 1);  // W in both, as the heights were made
    return Vector3(-dzx / sx, -dzy / sy, 1.0f).Normalised();
}

void WriteSample(HeightField& f, const Vector3& p, HeightFieldStats* stats) {
    const float fi = static_cast<float>(f.W) * (p.x - f.originX) / f.extentX + 0.5f;
    const float fj = static_cast<float>(f.H) * (p.y - f.originY) / f.extentY + 0.5f;
    if (p.z <= 0.0f) return;  // only heights above zero are written
    Pin(f, fi, fj, p.z, stats);
}

void RasteriseTrianglePlain(HeightField& f, const Vector3& p1, const Vector3& p2, const Vector3& p3,
                            HeightFieldStats* stats) {
    RasterSteps plan;
    if (!PlanRaster(p1, p2, p3, plan, stats)) return;
    const Vector3 e1 = plan.e1, e2 = plan.e2;
    const std::int32_t rows = plan.rows, columns = plan.columns;
    const float dt = 1.0f / static_cast<float>(rows), ds = 1.0f / static_cast<float>(columns);
    float t = 0.0f;
    do {
        const float smax = (1.0f - t) * 1.001f;
        if (smax >= 0.0f) {
            float s = 0.0f;
            do {
                WriteSample(f, p1 + e2 * t + e1 * s, stats);
                s += ds;
            } while (s <= smax);
        }
        t += dt;
        GiveWayScope::Point();
    } while (t <= 1.001f);
}

void RasteriseTriangle(HeightField& f, const Vector3& p1, const Vector3& p2, const Vector3& p3,
                       HeightFieldStats* stats) {
    // The window's scale is 1024 cells over 2048 units: with both powers of
    // two, W * d / extent is exactly d times their quotient, which saves a
    // division a sample. Otherwise the plain steps run.
    if (!(IsPowerOfTwo(static_cast<float>(f.W)) && IsPowerOfTwo(f.extentX) && IsPowerOfTwo(static_cast<float>(f.H)) &&
          IsPowerOfTwo(f.extentY))) {
        RasteriseTrianglePlain(f, p1, p2, p3, stats);
        return;
    }
    RasterSteps plan;
    if (!PlanRaster(p1, p2, p3, plan, stats)) return;
    const Vector3 e1 = plan.e1, e2 = plan.e2;
    const float kx = static_cast<float>(f.W) / f.extentX, ky = static_cast<float>(f.H) / f.extentY;
    const float ox = f.originX, oy = f.originY, W = static_cast<float>(f.W), H = static_cast<float>(f.H);
    const float dt = 1.0f / static_cast<float>(plan.rows), ds = 1.0f / static_cast<float>(plan.columns);
    float* samples = f.samples.data();
    std::uint64_t written = 0, taken = 0;
#if defined(__SSE2__)
    // A level triangle (a large object's footprint) samples one height
    // everywhere. A sample then lowers its cell only if no sample of the
    // triangle has lowered it before, so the order of the samples does not
    // matter, nor do samples after the first in a cell: each row's cells
    // are found four samples at a time and each lowered at most once.
    if (e1.z == 0.0f && e2.z == 0.0f) {
        const float z = p1.z;
        // Every row steps s the same way from 0 (s += ds until past its
        // end, at most 1.001): the steps are made once for the triangle.
        // Triangles of one size share them: a cache per thread, so that
        // fields may be built on any thread.
        thread_local std::vector<float> steps;
        thread_local std::vector<std::int32_t> cells;
        thread_local float stepsFor = 0.0f;
        if (steps.empty() || stepsFor != ds) {
            steps.clear();
            for (float s = 0.0f;; s += ds) {
                steps.push_back(s);
                if (!(s <= 1.001f)) break;
            }
            while (steps.size() % 4) steps.push_back(steps.back());
            cells.resize(steps.size() + 4);
            stepsFor = ds;
        }
        std::size_t n = steps.size();
        const int shift = std::countr_zero(static_cast<std::uint32_t>(f.W));
        const __m128 vox = _mm_set1_ps(ox), voy = _mm_set1_ps(oy), vkx = _mm_set1_ps(kx), vky = _mm_set1_ps(ky);
        const __m128 half = _mm_set1_ps(0.5f), minus1 = _mm_set1_ps(-1.0f), vW = _mm_set1_ps(W), vH = _mm_set1_ps(H);
        const __m128 ex = _mm_set1_ps(e1.x), ey = _mm_set1_ps(e1.y);
        const __m128i outside = _mm_set1_epi32(-1);
        float t = 0.0f;
        do {
            const float smax = (1.0f - t) * 1.001f;
            if (smax >= 0.0f) {
                // p1 + e2 t + e1 s, evaluated in the plain order.
                const Vector3 base = p1 + e2 * t;
                // The samples of the row: s = 0, then every step up to smax
                // (which only shrinks from row to row).
                while (n > 1 && !(steps[n - 1] <= smax)) --n;
                taken += n;
                if (z > 0.0f) {
                    const __m128 bx = _mm_set1_ps(base.x), by = _mm_set1_ps(base.y);
                    std::size_t found = 0;
                    __m128i last = outside;  // the cell of the sample before, in every lane
                    for (std::size_t k = 0; k < n; k += 4) {
                        const __m128 sv = _mm_loadu_ps(&steps[k]);
                        const __m128 fi = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(_mm_add_ps(bx, _mm_mul_ps(ex, sv)), vox), vkx), half);
                        const __m128 fj = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(_mm_add_ps(by, _mm_mul_ps(ey, sv)), voy), vky), half);
                        const __m128 in = _mm_and_ps(_mm_and_ps(_mm_cmpgt_ps(fi, minus1), _mm_cmplt_ps(fi, vW)),
                                                     _mm_and_ps(_mm_cmpgt_ps(fj, minus1), _mm_cmplt_ps(fj, vH)));
                        const __m128i cell =
                            _mm_add_epi32(_mm_slli_epi32(_mm_cvttps_epi32(fj), shift), _mm_cvttps_epi32(fi));
                        // Samples off the grid fall in no cell (-1).
                        const __m128i here = _mm_or_si128(_mm_and_si128(cell, _mm_castps_si128(in)),
                                                          _mm_andnot_si128(_mm_castps_si128(in), outside));
                        // A sample finds a cell when the one before it was in another.
                        const __m128i before = _mm_or_si128(_mm_slli_si128(here, 4), _mm_srli_si128(last, 12));
                        int fresh = _mm_movemask_ps(_mm_castsi128_ps(_mm_andnot_si128(_mm_cmpeq_epi32(here, before), _mm_castps_si128(in))));
                        if (k + 4 > n) fresh &= (1 << (n - k)) - 1;  // past the row's end
                        alignas(16) std::int32_t c[4];
                        _mm_store_si128(reinterpret_cast<__m128i*>(c), here);
                        cells[found] = c[0];
                        found += fresh & 1;
                        cells[found] = c[1];
                        found += (fresh >> 1) & 1;
                        cells[found] = c[2];
                        found += (fresh >> 2) & 1;
                        cells[found] = c[3];
                        found += (fresh >> 3) & 1;
                        last = here;
                    }
                    // A row's cells follow a line, so a cell comes back only
                    // after others: those found are distinct neighbours.
                    for (std::size_t m = 0; m < found; ++m) {
                        float& cell = samples[cells[m]];
                        const bool lower = std::fabs(cell) > z;
                        cell = lower ? -z : cell;
                        written += lower;
                    }
                }
            }
            t += dt;
            GiveWayScope::Point();
        } while (t <= 1.001f);
        if (steps.capacity() > (std::size_t{1} << 20)) steps = {}, cells = {};  // a huge triangle's are not kept
        if (stats) {
            stats->samplesWritten += written;
            stats->samplesTaken += taken;
        }
        return;
    }
#endif
    float t = 0.0f;
    do {
        const float smax = (1.0f - t) * 1.001f;
        if (smax >= 0.0f) {
            // p1 + e2 t + e1 s, evaluated in the plain order.
            const Vector3 base = p1 + e2 * t;
            float s = 0.0f;
            do {
                const float x = base.x + e1.x * s, y = base.y + e1.y * s, z = base.z + e1.z * s;
                const float fi = (x - ox) * kx + 0.5f, fj = (y - oy) * ky + 0.5f;
                // Outside the grid nothing is written (a clamped read only
                // decides whether to write inside it).
                if (z > 0.0f && fi > -1.0f && fi < W && fj > -1.0f && fj < H) {
                    float& cell = samples[static_cast<std::size_t>(static_cast<std::int32_t>(fj)) * f.W +
                                          static_cast<std::size_t>(static_cast<std::int32_t>(fi))];
                    // Whether a sample lowers its cell is a coin toss where
                    // rows overlap: a select rather than a branch.
                    const bool lower = std::fabs(cell) > z;
                    cell = lower ? -z : cell;
                    written += lower;
                }
                s += ds;
                ++taken;
            } while (s <= smax);
        }
        t += dt;
        GiveWayScope::Point();
    } while (t <= 1.001f);
    if (stats) {
        stats->samplesWritten += written;
        stats->samplesTaken += taken;
    }
}

bool IsSea(const Instance& inst) { return StartsWith(inst.name, "tocean") || StartsWith(inst.name, "ocean"); }

GroundFootprint FootprintOf(const Instance& inst) {
    GroundFootprint g;
    g.model = inst.model;
    g.position = inst.position;
    g.lowest = inst.boxMin.z;
    g.scale = inst.scale;
    g.rotation = inst.ModelMatrix();
    g.serial = inst.SerialId;
    g.sea = IsSea(inst);
    g.excluded = inst.ExcludeFromHeightField;
    return g;
}

void RasteriseInstance(HeightField& f, const Instance& inst, HeightFieldStats* stats, bool plain, bool skipsOneFace) {
    RasteriseFootprint(f, FootprintOf(inst), stats, plain, skipsOneFace);
}

void RasteriseFootprint(HeightField& f, const GroundFootprint& inst, HeightFieldStats* stats, bool plain,
                        bool skipsOneFace) {
    const auto triangle = plain ? &RasteriseTrianglePlain : &RasteriseTriangle;
    if (inst.excluded) return;
    const GridPoint g = GridCoordinates(f, inst.position.x, inst.position.y);
    const float z = inst.lowest;
    if (z > 0.0f) Pin(f, g.gx + 0.5f, g.gy + 0.5f, z, stats);
    const Model* model = inst.model;
    if (!model) return;
    const Matrix3& r = inst.rotation;

    if (!inst.sea) {
        if (!(inst.scale > 1.5f) || model->HasAlphaTexture) return;
        Vector3 lo{1e20f, 1e20f, 1e20f}, hi{-1e20f, -1e20f, -1e20f};
        float zlow = 1e10f;
        bool any = false;
        if (const ModelPoints* points = plain ? nullptr : model->Points()) {
            // The box is the model's own; only the lowest point turns with the instance.
            lo = points->drawnMin;
            hi = points->drawnMax;
            any = points->anyDrawn;
            for (const Vector3& v : points->Drawn()) zlow = std::min(zlow, (r * v).z + inst.position.z);
        } else {
            for (const Face& face : model->faces) {
                if (!Counts(*model, face)) continue;
                any = true;
                for (std::uint32_t k : face.index) {
                    const Vector3& v = model->vertices[k].position;
                    lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
                    hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
                    zlow = std::min(zlow, (r * v).z + inst.position.z);
                }
            }
        }
        if (!any) return;  // nothing to stand on: no footprint
        Vector3 k[4] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, 0}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, 0}};
        for (Vector3& c : k) {
            c = r * c + inst.position;
            c.z = zlow;
        }
        triangle(f, k[0], k[1], k[2], stats);
        triangle(f, k[0], k[2], k[3], stats);
        return;
    }

    const bool skip12 = skipsOneFace && inst.serial == 1141;
    for (std::size_t n = 0; n < model->faces.size(); ++n) {
        const Face& face = model->faces[n];
        if (skip12 && n == 12) continue;
        if (!Counts(*model, face)) continue;
        Vector3 p[3];
        for (int c = 0; c < 3; ++c) {
            p[c] = r * model->vertices[face.index[c]].position + inst.position;
            p[c].z -= 1.0f;
        }
        triangle(f, p[0], p[1], p[2], stats);
    }
}

void RelaxHeightsPlain(HeightField& g) {
    const std::int32_t W = g.W, H = g.H;
    for (int sweep = 0; sweep < 8; ++sweep) {
        for (std::int32_t j = 0; j < H; ++j) {
            GiveWayScope::Point();
            for (std::int32_t i = 0; i < W; ++i) {
                float& s = g.At(i, j);
                if (s < 0.0f) continue;  // fixed
                const float left = std::fabs(g.At(Clamp(i - 1, 0, W - 1), j));
                const float right = std::fabs(g.At(Clamp(i + 1, 0, W - 1), j));
                const float below = std::fabs(g.At(i, Clamp(j - 1, 0, H - 1)));
                const float above = std::fabs(g.At(i, Clamp(j + 1, 0, H - 1)));
                s = (s + left + right + below + above) * 0.2f;
            }
        }
    }
}

namespace {

void RelaxHeightsBanded(HeightField& g) {
    const std::int32_t W = g.W, H = g.H;
    if (W < 3 || H < 3) {
        RelaxHeightsPlain(g);
        return;
    }
    // Each cell reads its left and lower neighbours as this sweep left them
    // and its right and upper ones as the last sweep did, so one row's cell
    // waits on the one before it. Bands of rows run staggered a column apart
    // (row k of a band at column c - k): the rows' chains interleave, each
    // cell still sees exactly what it sees in row order.
    constexpr std::int32_t kBand = 8;
    float* S = g.samples.data();
    auto clamped = [&](std::int32_t i, std::int32_t j) {
        float& s = S[static_cast<std::size_t>(j) * W + i];
        if (s < 0.0f) return;
        const float left = std::fabs(S[static_cast<std::size_t>(j) * W + Clamp(i - 1, 0, W - 1)]);
        const float right = std::fabs(S[static_cast<std::size_t>(j) * W + Clamp(i + 1, 0, W - 1)]);
        const float below = std::fabs(S[static_cast<std::size_t>(Clamp(j - 1, 0, H - 1)) * W + i]);
        const float above = std::fabs(S[static_cast<std::size_t>(Clamp(j + 1, 0, H - 1)) * W + i]);
        s = (s + left + right + below + above) * 0.2f;
    };
    auto interior = [&](std::int32_t i, std::int32_t j) {
        float* p = S + static_cast<std::size_t>(j) * W + i;
        const float s = *p;
        if (s < 0.0f) return;  // fixed; fixed cells come in runs, so this is well predicted
        *p = (s + std::fabs(p[-1]) + std::fabs(p[1]) + std::fabs(p[-W]) + std::fabs(p[W])) * 0.2f;
    };
    for (int sweep = 0; sweep < 8; ++sweep) {
        for (std::int32_t j0 = 0; j0 < H; j0 += kBand) {
            GiveWayScope::Point();
            const std::int32_t rows = std::min(kBand, H - j0);
            const bool edgeBand = j0 == 0 || j0 + rows == H;
            for (std::int32_t c = 0; c < W + rows - 1; ++c) {
                // Where every row of the band is inside the grid and off its
                // left and right columns, no cell needs clamping.
                if (!edgeBand && c >= rows && c < W - 1) {
                    for (std::int32_t k = 0; k < rows; ++k) interior(c - k, j0 + k);
                    continue;
                }
                for (std::int32_t k = 0; k < rows; ++k) {
                    const std::int32_t i = c - k, j = j0 + k;
                    if (i < 0 || i >= W) continue;
                    if (i == 0 || i == W - 1 || j == 0 || j == H - 1) clamped(i, j);
                    else interior(i, j);
                }
            }
        }
    }
}

}  // namespace

#if defined(__SSE2__)
// Four rows at once, one to a lane: lane k of a band works on row j0 + k at
// column c - k, so that each cell comes after its left neighbour (lane k,
// the step before) and its lower one (lane k - 1, the step before), and
// before its right and upper ones, exactly as in row order. Four bands run
// together, each some steps behind the one below it, so that their chains
// of additions overlap. The first and last rows and columns are clamped and
// done one cell at a time.
class VectorRelax {
public:
    explicit VectorRelax(HeightField& g) : g_(g), W(g.W), H(g.H) {}

    void Run() {
        S = g_.samples.data();
        const std::int32_t bands = (H - 2) / 4;  // rows 1 .. 4 * bands
        for (int sweep = 0; sweep < 8; ++sweep) {
            Row(0);
            std::int32_t first = 0;
            for (; first + 4 <= bands; first += 4) {
                Group(1 + 4 * first);
                GiveWayScope::Point();
            }
            for (; first < bands; ++first) Single(1 + 4 * first);
            for (std::int32_t j = 1 + 4 * bands; j < H; ++j) Row(j);
        }
    }

private:
    struct Band {
        const float* lane[4];  // lane[k][c]: the cell of lane k at step c
        float* out[4];
        const float* below;  // below[c]: lane 0's lower neighbour
        const float* above;  // above[c]: lane 3's upper neighbour
        __m128 done, next;   // the step before's new values, this step's old ones
    };

    float& At(std::int32_t i, std::int32_t j) { return S[static_cast<std::size_t>(j) * W + i]; }

    void Clamped(std::int32_t i, std::int32_t j) {
        float& s = At(i, j);
        if (s < 0.0f) return;
        const float left = std::fabs(At(Clamp(i - 1, 0, W - 1), j));
        const float right = std::fabs(At(Clamp(i + 1, 0, W - 1), j));
        const float below = std::fabs(At(i, Clamp(j - 1, 0, H - 1)));
        const float above = std::fabs(At(i, Clamp(j + 1, 0, H - 1)));
        s = (s + left + right + below + above) * 0.2f;
    }
    void Row(std::int32_t j) {
        for (std::int32_t i = 0; i < W; ++i) Clamped(i, j);
    }

    Band Make(std::int32_t j0) {
        Band b;
        for (std::int32_t k = 0; k < 4; ++k) {
            b.out[k] = S + static_cast<std::size_t>(j0 + k) * W - k;
            b.lane[k] = b.out[k];
        }
        b.below = S + static_cast<std::size_t>(j0 - 1) * W;
        b.above = S + static_cast<std::size_t>(j0 + 4) * W - 3;
        b.done = b.next = _mm_setzero_ps();
        return b;
    }
    static __m128 Gather(const Band& b, std::int32_t c) {
        const __m128 x = _mm_unpacklo_ps(_mm_load_ss(b.lane[0] + c), _mm_load_ss(b.lane[1] + c));
        const __m128 y = _mm_unpacklo_ps(_mm_load_ss(b.lane[2] + c), _mm_load_ss(b.lane[3] + c));
        return _mm_movelh_ps(x, y);
    }

    // A step whose four cells lie off the clamped columns.
    static void Vector(Band& b, std::int32_t c) {
        const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
        const __m128 old = b.next;
        const __m128 right = Gather(b, c + 1);
        // Lane k's lower neighbour is lane k - 1's cell of the step before;
        // lane 0's lies in the row below the band, already done.
        const __m128 below = _mm_move_ss(_mm_shuffle_ps(b.done, b.done, _MM_SHUFFLE(2, 1, 0, 0)), _mm_load_ss(b.below + c));
        // Lane k's upper neighbour is lane k + 1's cell of the next step, not
        // yet done; lane 3's lies in the row above the band, not yet done.
        const __m128 top = _mm_shuffle_ps(right, _mm_load_ss(b.above + c), _MM_SHUFFLE(0, 0, 3, 3));
        const __m128 above = _mm_shuffle_ps(right, top, _MM_SHUFFLE(2, 0, 2, 1));
        __m128 sum = _mm_add_ps(old, _mm_and_ps(b.done, absMask));
        sum = _mm_add_ps(sum, _mm_and_ps(right, absMask));
        sum = _mm_add_ps(sum, _mm_and_ps(below, absMask));
        sum = _mm_add_ps(sum, _mm_and_ps(above, absMask));
        sum = _mm_mul_ps(sum, _mm_set1_ps(0.2f));
        const __m128 fixed = _mm_cmplt_ps(old, _mm_setzero_ps());  // fixed cells keep their value
        const __m128 result = _mm_or_ps(_mm_and_ps(fixed, old), _mm_andnot_ps(fixed, sum));
        _mm_store_ss(b.out[0] + c, result);
        _mm_store_ss(b.out[1] + c, _mm_shuffle_ps(result, result, _MM_SHUFFLE(1, 1, 1, 1)));
        _mm_store_ss(b.out[2] + c, _mm_shuffle_ps(result, result, _MM_SHUFFLE(2, 2, 2, 2)));
        _mm_store_ss(b.out[3] + c, _mm_shuffle_ps(result, result, _MM_SHUFFLE(3, 3, 3, 3)));
        b.done = result;
        b.next = right;
    }

    // Any step: lanes on a clamped column or off the grid one by one.
    void Step(Band& b, std::int32_t j0, std::int32_t c) {
        if (c >= 4 && c <= W - 2) {
            Vector(b, c);
            return;
        }
        for (std::int32_t k = 0; k < 4; ++k) {
            const std::int32_t i = c - k;
            if (i < 0 || i >= W) continue;
            if (i == 0 || i == W - 1) {
                Clamped(i, j0 + k);
                continue;
            }
            float& s = At(i, j0 + k);
            if (s < 0.0f) continue;
            s = (s + std::fabs(At(i - 1, j0 + k)) + std::fabs(At(i + 1, j0 + k)) + std::fabs(At(i, j0 + k - 1)) +
                 std::fabs(At(i, j0 + k + 1))) *
                0.2f;
        }
        if (c == 3) {  // the vector steps start next: their state from memory
            b.done = Gather(b, 3);
            b.next = Gather(b, 4);
        }
    }

    void Single(std::int32_t j0) {
        Band b = Make(j0);
        for (std::int32_t c = 0; c < W + 3; ++c) Step(b, j0, c);
    }

    // Four bands, each kLag steps behind the one below it.
    void Group(std::int32_t j0) {
        Band b[4] = {Make(j0), Make(j0 + 4), Make(j0 + 8), Make(j0 + 12)};
        const std::int32_t steps = W + 3, last = steps + 3 * kLag;
        std::int32_t t = 0;
        auto generic = [&](std::int32_t t) {
            for (std::int32_t k = 0; k < 4; ++k)
                if (const std::int32_t c = t - kLag * k; c >= 0 && c < steps) Step(b[k], j0 + 4 * k, c);
        };
        for (; t < 4 + 3 * kLag; ++t) generic(t);
        Band b0 = b[0], b1 = b[1], b2 = b[2], b3 = b[3];
        for (; t <= W - 2; ++t) {  // every band on its vector steps
            Vector(b0, t);
            Vector(b1, t - kLag);
            Vector(b2, t - 2 * kLag);
            Vector(b3, t - 3 * kLag);
        }
        b[0] = b0, b[1] = b1, b[2] = b2, b[3] = b3;
        for (; t < last; ++t) generic(t);
    }

    // Each band this many steps behind the one below it (at least 4, so that
    // its lowest lane finds the band below done): farther than the minimum,
    // so that a band's loads do not agree in the low 12 address bits with
    // the stores still in flight of the band below (rows are 4096 bytes
    // apart), which would hold the loads up.
    static constexpr std::int32_t kLag = 12;
    HeightField& g_;
    const std::int32_t W, H;
    float* S = nullptr;
};
#endif

void RelaxHeights(HeightField& g) {
#if defined(__SSE2__)
    if (g.W >= 20 && g.H >= 8) {
        VectorRelax(g).Run();
        return;
    }
#endif
    RelaxHeightsBanded(g);
}

void FillHoles(HeightField& g, HeightPyramid& pyramid, int level, HeightFieldStats* stats, bool plain) {
    if (g.W < 4 || g.H < 4) return;
    if (level >= kPyramidLevels) return;  // a grid of 4^8 would need a ninth level: never at 1024
    HeightField& q = pyramid[static_cast<std::size_t>(level)];
    q.W = g.W >> 2;
    q.H = g.H >> 2;
    q.samples.assign(static_cast<std::size_t>(q.W) * q.H, 1.0f);
#if defined(__SSE2__)
    // Four cells of a row make one cell of the coarser grid: a vector each.
    const bool vector = !plain && g.W % 4 == 0 && g.H % 4 == 0;
#else
    const bool vector = false;
#endif
    if (vector) {
#if defined(__SSE2__)
        // The last fixed cell in row order wins, so the last of the four.
        for (std::int32_t j = 0; j < g.H; ++j) {
            RowPoint(j);
            const float* row = &g.At(0, j);
            float* coarse = &q.At(0, j >> 2);
            for (std::int32_t i = 0; i < g.W; i += 4) {
                const int fixed = _mm_movemask_ps(_mm_cmplt_ps(_mm_loadu_ps(row + i), _mm_setzero_ps()));
                if (fixed) coarse[i >> 2] = row[i + 31 - std::countl_zero(static_cast<std::uint32_t>(fixed))];
            }
        }
#endif
    } else {
        for (std::int32_t j = 0; j < g.H; ++j) {
            RowPoint(j);
            for (std::int32_t i = 0; i < g.W; ++i) {
                const float s = g.At(i, j);
                if (s < 0.0f) q.At(std::min(i >> 2, q.W - 1), std::min(j >> 2, q.H - 1)) = s;
            }
        }
    }
    FillHoles(q, pyramid, level + 1, stats, plain);
    if (vector) {
#if defined(__SSE2__)
        const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
        for (std::int32_t j = 0; j < g.H; ++j) {
            RowPoint(j);
            float* row = &g.At(0, j);
            const float* coarse = &q.At(0, j >> 2);
            for (std::int32_t i = 0; i < g.W; i += 4) {
                const __m128 s = _mm_loadu_ps(row + i);
                const __m128 free = _mm_cmpge_ps(s, _mm_setzero_ps());  // not a number stays
                const __m128 filled = _mm_and_ps(_mm_set1_ps(coarse[i >> 2]), absMask);
                _mm_storeu_ps(row + i, _mm_or_ps(_mm_and_ps(free, filled), _mm_andnot_ps(free, s)));
            }
        }
#endif
    } else {
        for (std::int32_t j = 0; j < g.H; ++j) {
            RowPoint(j);
            for (std::int32_t i = 0; i < g.W; ++i) {
                float& s = g.At(i, j);
                if (s >= 0.0f) s = std::fabs(q.At(std::min(i >> 2, q.W - 1), std::min(j >> 2, q.H - 1)));
            }
        }
    }
    const auto relaxStart = std::chrono::steady_clock::now();
    if (plain) RelaxHeightsPlain(g);
    else RelaxHeights(g);
    if (stats) stats->relaxMs += MsSince(relaxStart);
}

GroundSource LevelGround() {
    const SceneState& scene = TheScene();
    GroundSource source;
    source.terrainMin = scene.TerrainMin;
    source.terrainMax = scene.TerrainMax;
    source.skipsOneFace = TheLevel().quirks.groundSkipsOneFace;
    const Vector3& lo = source.terrainMin;
    const Vector3& hi = source.terrainMax;
    for (const auto& inst : scene.InstanceList) {
        const Vector3& p = inst->position;
        if (p.x >= lo.x && p.x <= hi.x && p.y >= lo.y && p.y <= hi.y) source.footprints.push_back(FootprintOf(*inst));
    }
    return source;
}

GiveWayScope::GiveWayScope(std::chrono::microseconds every, std::chrono::steady_clock::duration lasting)
    : every_(every), start_(std::chrono::steady_clock::now()), last_(start_), lasting_(lasting), outer_(tGiveWay) {
    tGiveWay = this;
}

GiveWayScope::~GiveWayScope() { tGiveWay = outer_; }

void GiveWayScope::Point() {
    GiveWayScope* scope = tGiveWay;
    if (!scope) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - scope->last_ < scope->every_ || now - scope->start_ >= scope->lasting_) return;
    std::this_thread::yield();
    ++scope->yields_;
    scope->last_ = std::chrono::steady_clock::now();
}

namespace {

// The samples of kRowsBetweenPoints rows.
std::size_t RowChunk(const HeightField& f) { return static_cast<std::size_t>(std::max(f.W, 1)) * kRowsBetweenPoints; }

// A pass over every sample, a chunk of rows at a time with a point to give
// way between.
template <typename Pass>
void ForRowChunks(HeightField& f, Pass pass) {
    const std::size_t chunk = RowChunk(f);
    float* const end = f.samples.data() + f.samples.size();
    for (float* from = f.samples.data(); from != end;) {
        float* const to = static_cast<std::size_t>(end - from) > chunk ? from + chunk : end;
        pass(from, to);
        from = to;
        GiveWayScope::Point();
    }
}

}  // namespace

void BuildHeightField(HeightField& f, HeightPyramid& pyramid, const GroundSource& source, HeightFieldStats* stats,
                      bool plain) {
    const auto start = std::chrono::steady_clock::now();
    const std::size_t cells = static_cast<std::size_t>(std::max(f.W, 0)) * static_cast<std::size_t>(std::max(f.H, 0));
    if (f.samples.size() == cells) {
        ForRowChunks(f, [](float* from, float* to) { std::fill(from, to, kUnknown); });
    } else {
        // A fresh grid (a worker's) grows a chunk of rows at a time.
        f.samples.clear();
        f.samples.reserve(cells);
        while (f.samples.size() < cells) {
            f.samples.insert(f.samples.end(), std::min(RowChunk(f), cells - f.samples.size()), kUnknown);
            GiveWayScope::Point();
        }
    }
    const Vector3& lo = source.terrainMin;
    const Vector3& hi = source.terrainMax;
    for (const GroundFootprint& footprint : source.footprints) {
        RasteriseFootprint(f, footprint, stats, plain, source.skipsOneFace);
        GiveWayScope::Point();
    }
    if (stats) {
        stats->pinnedCells = 0;
        ForRowChunks(f, [stats](float* from, float* to) {
            stats->pinnedCells += static_cast<std::uint64_t>(std::count_if(from, to, [](float s) { return s < 0.0f; }));
        });
    }
    const GridPoint a = GridCoordinates(f, lo.x, lo.y), b = GridCoordinates(f, hi.x, hi.y);
    if (plain) {
        for (std::int32_t j = 0; j < f.H; ++j) {
            RowPoint(j);
            const float y = static_cast<float>(j);
            const bool rowOutside = y < a.gy || y > b.gy;
            for (std::int32_t i = 0; i < f.W; ++i) {
                const float x = static_cast<float>(i);
                if (rowOutside || x < a.gx || x > b.gx) f.At(i, j) = -0.001f;
            }
        }
    } else {
        // Which columns lie outside is the same in every row: found once.
        std::vector<std::int32_t> outside;
        for (std::int32_t i = 0; i < f.W; ++i) {
            const float x = static_cast<float>(i);
            if (x < a.gx || x > b.gx) outside.push_back(i);
        }
        for (std::int32_t j = 0; j < f.H; ++j) {
            RowPoint(j);
            const float y = static_cast<float>(j);
            if (y < a.gy || y > b.gy) {
                std::fill_n(&f.At(0, j), f.W, -0.001f);
                continue;
            }
            for (std::int32_t i : outside) f.At(i, j) = -0.001f;
        }
    }
    const auto fillStart = std::chrono::steady_clock::now();
    if (stats) stats->rasteriseMs = MsSince(start);
    FillHoles(f, pyramid, 0, stats, plain);
    ForRowChunks(f, [](float* from, float* to) {
        for (float* s = from; s != to; ++s) *s = std::fabs(*s);
    });
    if (stats) stats->fillMs = MsSince(fillStart);
}
