#include "inspect/diff_command.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "files/block_file.h"
#include "scene/scene_construction.h"

namespace inspect {

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "wildview-inspect: %s\n", message.c_str());
    return 1;
}

bool Load(const std::string& path, BlockFile& file, std::vector<RegionRecord>& records, std::string& error) {
    if (!file.Load(path.c_str())) {
        error = path + ": " + file.LastError();
        return false;
    }
    const BlockRecord* region = file.FindBlockByName(".region");
    if (!region) {
        error = path + ": no .region block";
        return false;
    }
    const RegionCounts counts = CountRegionRecords(region->bytes());
    for (std::uint32_t i = 0; i < counts.held; ++i) records.push_back(ReadRegionRecord(region->bytes(), i));
    return true;
}

bool SameBits(const Vector3& a, const Vector3& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Records are the same object when everything but the placement matches.
bool SameObject(const RegionRecord& a, const RegionRecord& b) {
    return a.object == b.object && a.name == b.name && a.table == b.table && a.hasTable == b.hasTable &&
           std::memcmp(&a.scale, &b.scale, sizeof a.scale) == 0;
}

}  // namespace

int DiffCommand(const std::string& pathA, const std::string& pathB) {
    BlockFile a, b;
    std::vector<RegionRecord> ra, rb;
    std::string error;
    if (!Load(pathA, a, ra, error) || !Load(pathB, b, rb, error)) return Fail(error);
    auto name = [](const BlockFile& f, const RegionRecord& r) {
        const char* n = f.GetSymbolName(r.name);
        return n ? n : "";
    };
    // B is A with records changed, taken out or put in, in A's order: walk
    // both, and where they part, step over the fewer records that bring
    // them together again (taken out of A, or put into B); a record that
    // never comes back is another object in its place.
    std::size_t i = 0, j = 0, moved = 0, turned = 0, removed = 0, added = 0;
    auto next = [](const std::vector<RegionRecord>& in, std::size_t from, const RegionRecord& r) {
        while (from < in.size() && !SameObject(in[from], r)) ++from;
        return from;
    };
    while (i < ra.size() || j < rb.size()) {
        if (i < ra.size() && j < rb.size() && !SameObject(ra[i], rb[j])) {
            const std::size_t again = next(ra, i + 1, rb[j]), inserted = next(rb, j + 1, ra[i]);
            if (again == ra.size() && inserted == rb.size()) {
                std::printf("removed  %5zu %s\n", i, name(a, ra[i]));
                std::printf("added    %5zu %s\n", j, name(b, rb[j]));
                ++removed, ++added, ++i, ++j;
            } else if (again - i <= inserted - j) {
                for (; i < again; ++i, ++removed) std::printf("removed  %5zu %s\n", i, name(a, ra[i]));
            } else {
                for (; j < inserted; ++j, ++added) std::printf("added    %5zu %s\n", j, name(b, rb[j]));
            }
            continue;
        }
        if (i < ra.size() && j < rb.size()) {
            const RegionRecord &x = ra[i], &y = rb[j];
            if (!SameBits(x.position, y.position)) {
                std::printf("moved    %5zu %s: (%.3f, %.3f, %.3f) -> (%.3f, %.3f, %.3f)\n", i, name(a, x), x.position.x,
                            x.position.y, x.position.z, y.position.x, y.position.y, y.position.z);
                ++moved;
            }
            if (!SameBits(x.rotation, y.rotation)) {
                std::printf("turned   %5zu %s: (%.4f, %.4f, %.4f) -> (%.4f, %.4f, %.4f)\n", i, name(a, x), x.rotation.x,
                            x.rotation.y, x.rotation.z, y.rotation.x, y.rotation.y, y.rotation.z);
                ++turned;
            }
            ++i, ++j;
        } else if (i < ra.size()) {
            std::printf("removed  %5zu %s\n", i, name(a, ra[i]));
            ++removed, ++i;
        } else {
            std::printf("added    %5zu %s\n", j, name(b, rb[j]));
            ++added, ++j;
        }
    }
    std::printf("%zu moved, %zu turned, %zu removed, %zu added\n", moved, turned, removed, added);
    return 0;
}

}  // namespace inspect
