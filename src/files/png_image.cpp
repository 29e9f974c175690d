#include "files/png_image.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "platform/atomic_file.h"
#include "platform/file_system.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#include <stb/stb_image.h>

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// zlib's output goes into IDAT chunks of at most this many bytes.
constexpr std::size_t kChunkLimit = 1u << 20;

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void Chunk(std::vector<std::uint8_t>& out, const char type[4], const std::uint8_t* data, std::size_t size) {
    PutU32(out, static_cast<std::uint32_t>(size));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (size) out.insert(out.end(), data, data + size);
    uLong crc = crc32(0L, out.data() + typeAt, 4);
    if (size) crc = crc32(crc, data, static_cast<uInt>(size));
    PutU32(out, static_cast<std::uint32_t>(crc));
}

std::size_t BytesPerPixel(PngFormat f) {
    switch (f) {
        case PngFormat::Rgba8: return 4;
        case PngFormat::Rgb8: return 3;
        case PngFormat::Grey16: return 2;
        case PngFormat::Indexed8: return 1;
    }
    return 4;
}

int Paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// One row filtered five ways; the filter whose output bytes, read as
// signed, sum the smallest is kept (the usual heuristic). Palette images
// are not filtered, as the format advises.
class RowFilter {
public:
    RowFilter(std::size_t rowBytes, std::size_t bpp, bool adaptive)
        : bytes_(rowBytes), bpp_(bpp), adaptive_(adaptive), previous_(rowBytes, 0) {
        for (auto& c : candidates_) c.resize(rowBytes + 1);
    }

    // The filtered row, its filter type byte first.
    const std::vector<std::uint8_t>& Filter(const std::uint8_t* row) {
        const std::uint8_t* up = previous_.data();
        std::size_t best = 0;
        if (!adaptive_) {
            candidates_[0][0] = 0;
            std::memcpy(candidates_[0].data() + 1, row, bytes_);
        } else {
            std::uint64_t bestSum = UINT64_MAX;
            for (std::size_t type = 0; type < 5; ++type) {
                std::uint8_t* out = candidates_[type].data();
                out[0] = static_cast<std::uint8_t>(type);
                std::uint64_t sum = 0;
                for (std::size_t i = 0; i < bytes_; ++i) {
                    const int a = i >= bpp_ ? row[i - bpp_] : 0, b = up[i], c = i >= bpp_ ? up[i - bpp_] : 0;
                    int predictor = 0;
                    switch (type) {
                        case 1: predictor = a; break;
                        case 2: predictor = b; break;
                        case 3: predictor = (a + b) / 2; break;
                        case 4: predictor = Paeth(a, b, c); break;
                        default: break;
                    }
                    const auto v = static_cast<std::uint8_t>(row[i] - predictor);
                    out[i + 1] = v;
                    sum += static_cast<std::uint64_t>(std::abs(static_cast<int>(static_cast<std::int8_t>(v))));
                }
                if (sum < bestSum) bestSum = sum, best = type;
            }
        }
        std::memcpy(previous_.data(), row, bytes_);
        return candidates_[best];
    }

private:
    std::size_t bytes_, bpp_;
    bool adaptive_;
    std::vector<std::uint8_t> previous_;
    std::array<std::vector<std::uint8_t>, 5> candidates_;
};

}  // namespace

bool EncodePng(const PngImage& image, std::vector<std::uint8_t>& out, int level) {
    out.clear();
    const std::size_t bpp = BytesPerPixel(image.format);
    if (image.width == 0 || image.height == 0 || image.width > 0x7FFFFFFFu || image.height > 0x7FFFFFFFu)
        return false;
    const std::size_t rowBytes = std::size_t{image.width} * bpp;
    if (image.pixels.size() != rowBytes * image.height) return false;
    const bool indexed = image.format == PngFormat::Indexed8;
    if (indexed && (image.paletteRgba.empty() || image.paletteRgba.size() % 4 || image.paletteRgba.size() > 1024))
        return false;

    out.insert(out.end(), kSignature, kSignature + 8);
    std::vector<std::uint8_t> header;
    PutU32(header, image.width);
    PutU32(header, image.height);
    const std::uint8_t depth = image.format == PngFormat::Grey16 ? 16 : 8;
    std::uint8_t colourType = 6;
    if (image.format == PngFormat::Rgb8) colourType = 2;
    else if (image.format == PngFormat::Grey16) colourType = 0;
    else if (indexed) colourType = 3;
    header.insert(header.end(), {depth, colourType, 0, 0, 0});
    Chunk(out, "IHDR", header.data(), header.size());
    if (indexed) {
        std::vector<std::uint8_t> palette, alpha;
        for (std::size_t k = 0; k < image.paletteRgba.size(); k += 4) {
            palette.insert(palette.end(), image.paletteRgba.begin() + static_cast<std::ptrdiff_t>(k),
                           image.paletteRgba.begin() + static_cast<std::ptrdiff_t>(k + 3));
            alpha.push_back(image.paletteRgba[k + 3]);
        }
        Chunk(out, "PLTE", palette.data(), palette.size());
        // Transparency up to the last entry that has any.
        while (!alpha.empty() && alpha.back() == 255) alpha.pop_back();
        if (!alpha.empty()) Chunk(out, "tRNS", alpha.data(), alpha.size());
    }

    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, indexed ? Z_DEFAULT_STRATEGY : Z_FILTERED) != Z_OK) {
        out.clear();
        return false;
    }
    std::vector<std::uint8_t> compressed, buffer(1u << 16), row(rowBytes);
    auto drain = [&](int flush) {
        int status = Z_OK;
        do {
            z.next_out = buffer.data();
            z.avail_out = static_cast<uInt>(buffer.size());
            status = deflate(&z, flush);
            compressed.insert(compressed.end(), buffer.data(), buffer.data() + (buffer.size() - z.avail_out));
        } while (z.avail_out == 0 || (flush == Z_FINISH && status == Z_OK));
        return flush == Z_FINISH ? status == Z_STREAM_END : status != Z_STREAM_ERROR;
    };
    RowFilter filter(rowBytes, bpp, !indexed);
    bool ok = true;
    for (std::uint32_t y = 0; y < image.height && ok; ++y) {
        const std::uint8_t* source = image.pixels.data() + std::size_t{y} * rowBytes;
        if (image.format == PngFormat::Grey16) {
            // PNG samples are big-endian.
            for (std::size_t x = 0; x < image.width; ++x) {
                std::uint16_t v;
                std::memcpy(&v, source + 2 * x, 2);
                row[2 * x] = static_cast<std::uint8_t>(v >> 8);
                row[2 * x + 1] = static_cast<std::uint8_t>(v & 0xFF);
            }
            source = row.data();
        }
        const std::vector<std::uint8_t>& filtered = filter.Filter(source);
        z.next_in = const_cast<Bytef*>(filtered.data());
        z.avail_in = static_cast<uInt>(filtered.size());
        ok = drain(Z_NO_FLUSH);
    }
    ok = ok && drain(Z_FINISH);
    deflateEnd(&z);
    if (!ok) {
        out.clear();
        return false;
    }
    for (std::size_t at = 0; at < compressed.size(); at += kChunkLimit)
        Chunk(out, "IDAT", compressed.data() + at, std::min(kChunkLimit, compressed.size() - at));
    Chunk(out, "IEND", nullptr, 0);
    return true;
}

bool WritePngFile(const std::string& path, const PngImage& image, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!EncodePng(image, bytes)) {
        error = "Could not write " + path + ": the picture cannot be encoded";
        return false;
    }
    return platform::WriteFileAtomically(path, bytes, error);
}

bool WritePngFile(const std::string& path, std::uint32_t width, std::uint32_t height,
                  const std::vector<std::uint8_t>& rgba, std::string& error) {
    return WritePngFile(path, PngImage{width, height, PngFormat::Rgba8, rgba, {}}, error);
}

bool DecodePng(std::span<const std::uint8_t> bytes, std::uint32_t& width, std::uint32_t& height,
               std::vector<std::uint8_t>& rgba, std::string& error) {
    rgba.clear();
    width = height = 0;
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
        error = "the picture is too large";
        return false;
    }
    int w = 0, h = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &channels, 4);
    if (!pixels) {
        const char* why = stbi_failure_reason();
        error = why ? why : "not a PNG picture";
        return false;
    }
    width = static_cast<std::uint32_t>(w);
    height = static_cast<std::uint32_t>(h);
    rgba.assign(pixels, pixels + std::size_t{width} * height * 4);
    stbi_image_free(pixels);
    return true;
}

bool ReadPngFile(const std::string& path, std::uint32_t& width, std::uint32_t& height,
                 std::vector<std::uint8_t>& rgba, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!platform::ReadWholeFile(path, bytes, error)) {
        error = "Could not read " + path + ": " + error;
        return false;
    }
    if (DecodePng(bytes, width, height, rgba, error)) return true;
    error = "Could not read " + path + ": " + error;
    return false;
}
