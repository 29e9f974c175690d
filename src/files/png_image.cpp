#include "files/png_image.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

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

    // The row above the next one filtered; none for the picture's first.
    void SetUp(const std::uint8_t* row) {
        if (row) std::memcpy(previous_.data(), row, bytes_);
        else std::fill(previous_.begin(), previous_.end(), std::uint8_t{0});
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

// The picture's rows as the file stores them: 16-bit samples big-endian.
class RowSource {
public:
    explicit RowSource(const PngImage& image)
        : image_(image), bytes_(std::size_t{image.width} * BytesPerPixel(image.format)) {
        if (image.format == PngFormat::Grey16) swapped_.resize(bytes_);
    }

    // Valid until the next call.
    const std::uint8_t* Row(std::size_t y) {
        const std::uint8_t* source = image_.pixels.data() + y * bytes_;
        if (image_.format != PngFormat::Grey16) return source;
        for (std::size_t x = 0; x < image_.width; ++x) {
            std::uint16_t v;
            std::memcpy(&v, source + 2 * x, 2);
            swapped_[2 * x] = static_cast<std::uint8_t>(v >> 8);
            swapped_[2 * x + 1] = static_cast<std::uint8_t>(v & 0xFF);
        }
        return swapped_.data();
    }

private:
    const PngImage& image_;
    std::size_t bytes_;
    std::vector<std::uint8_t> swapped_;
};

// The row size in bytes, unfiltered; 0 for a picture that cannot be written.
std::size_t CheckedRowBytes(const PngImage& image) {
    if (image.width == 0 || image.height == 0 || image.width > 0x7FFFFFFFu || image.height > 0x7FFFFFFFu) return 0;
    const std::size_t rowBytes = std::size_t{image.width} * BytesPerPixel(image.format);
    if (image.pixels.size() != rowBytes * image.height) return 0;
    if (image.format == PngFormat::Indexed8 &&
        (image.paletteRgba.empty() || image.paletteRgba.size() % 4 || image.paletteRgba.size() > 1024))
        return 0;
    return rowBytes;
}

int Strategy(const PngImage& image) {
    return image.format == PngFormat::Indexed8 ? Z_DEFAULT_STRATEGY : Z_FILTERED;
}

// The signature and the chunks before the pixels.
void PutHead(const PngImage& image, std::vector<std::uint8_t>& out) {
    const bool indexed = image.format == PngFormat::Indexed8;
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
}

// The zlib stream, given in pieces, as IDAT chunks of kChunkLimit bytes,
// then IEND: out grows once.
void PutTail(std::span<const std::span<const std::uint8_t>> pieces, std::vector<std::uint8_t>& out) {
    std::size_t total = 0;
    for (const auto& p : pieces) total += p.size();
    const std::size_t chunks = (total + kChunkLimit - 1) / kChunkLimit;
    out.reserve(out.size() + total + 12 * (chunks + 1));
    std::size_t piece = 0, offset = 0;
    for (std::size_t at = 0; at < total; at += kChunkLimit) {
        const std::size_t size = std::min(kChunkLimit, total - at);
        PutU32(out, static_cast<std::uint32_t>(size));
        const std::size_t typeAt = out.size();
        out.insert(out.end(), {'I', 'D', 'A', 'T'});
        for (std::size_t left = size; left;) {
            while (offset == pieces[piece].size()) ++piece, offset = 0;
            const std::size_t n = std::min(left, pieces[piece].size() - offset);
            out.insert(out.end(), pieces[piece].begin() + static_cast<std::ptrdiff_t>(offset),
                       pieces[piece].begin() + static_cast<std::ptrdiff_t>(offset + n));
            offset += n;
            left -= n;
        }
        PutU32(out, static_cast<std::uint32_t>(crc32(0L, out.data() + typeAt, static_cast<uInt>(size + 4))));
    }
    Chunk(out, "IEND", nullptr, 0);
}

// A deflate stream that is ended however the encoding ends.
class Deflater {
public:
    Deflater(int level, int windowBits, int strategy)
        : ok_(deflateInit2(&z, level, Z_DEFLATED, windowBits, 8, strategy) == Z_OK) {}
    ~Deflater() {
        if (ok_) deflateEnd(&z);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    bool ok() const { return ok_; }

    z_stream z{};

private:
    bool ok_;
};

// Deflates through a buffer of fixed size onto compressed; true when the
// flush did what zlib says it does. The fixed size keeps the bytes the same
// at level 0 too, where zlib sizes stored blocks by the room it is given.
bool Run(z_stream& z, int flush, std::vector<std::uint8_t>& buffer, std::vector<std::uint8_t>& compressed) {
    buffer.resize(1u << 16);
    int status = Z_OK;
    do {
        z.next_out = buffer.data();
        z.avail_out = static_cast<uInt>(buffer.size());
        status = deflate(&z, flush);
        compressed.insert(compressed.end(), buffer.data(), buffer.data() + (buffer.size() - z.avail_out));
    } while (z.avail_out == 0 || (flush == Z_FINISH && status == Z_OK));
    return flush == Z_FINISH ? status == Z_STREAM_END : status != Z_STREAM_ERROR;
}

// Window that a strip's stream may refer back into: the strip before's
// last filtered bytes.
constexpr std::size_t kWindow = 32768;

struct Strip {
    std::vector<std::uint8_t> deflated;
    uLong adler = 0;
    std::size_t bytes = 0;  // filtered
};

// Strips encoded on one thread: its own stream, filter and buffers, kept
// from strip to strip.
class StripWorker {
public:
    StripWorker(const PngImage& image, std::size_t rowBytes, std::size_t rowsPerStrip, int level)
        : image_(image),
          rowBytes_(rowBytes),
          rowsPerStrip_(rowsPerStrip),
          deflater_(level, -15, Strategy(image)),
          source_(image),
          filter_(rowBytes, BytesPerPixel(image.format), image.format != PngFormat::Indexed8) {
        // The rows whose filtered bytes fill the window; when they would be
        // a large share of a strip, strips start with an empty window
        // instead of filtering the same rows twice.
        const std::size_t windowRows = (kWindow + rowBytes) / (rowBytes + 1);
        primeRows_ = windowRows <= rowsPerStrip / 4 ? windowRows : 0;
    }

    bool Encode(std::size_t index, Strip& strip) {
        if (!deflater_.ok()) return false;
        z_stream& z = deflater_.z;
        if (deflateReset(&z) != Z_OK) return false;
        const std::size_t first = index * rowsPerStrip_;
        const std::size_t end = std::min<std::size_t>(image_.height, first + rowsPerStrip_);
        // The window's rows are all in the strip before: a strip holds at
        // least four times as many.
        std::size_t y = index && primeRows_ ? first - primeRows_ : first;
        filter_.SetUp(y ? source_.Row(y - 1) : nullptr);
        if (y < first) {
            window_.clear();
            for (; y < first; ++y) {
                const std::vector<std::uint8_t>& row = filter_.Filter(source_.Row(y));
                window_.insert(window_.end(), row.begin(), row.end());
            }
            if (deflateSetDictionary(&z, window_.data() + window_.size() - kWindow, kWindow) != Z_OK) return false;
        }
        compressed_.clear();
        uLong adler = adler32(0L, Z_NULL, 0);
        for (; y < end; ++y) {
            const std::vector<std::uint8_t>& row = filter_.Filter(source_.Row(y));
            adler = adler32(adler, row.data(), static_cast<uInt>(row.size()));
            z.next_in = const_cast<Bytef*>(row.data());
            z.avail_in = static_cast<uInt>(row.size());
            if (!Run(z, Z_NO_FLUSH, buffer_, compressed_)) return false;
        }
        // All but the last end on a byte boundary, not final, so that the
        // strips read as one stream.
        const bool last = end == image_.height;
        if (!Run(z, last ? Z_FINISH : Z_SYNC_FLUSH, buffer_, compressed_)) return false;
        // Kept at its size: only the strips' output is held until the end.
        strip.deflated.assign(compressed_.begin(), compressed_.end());
        strip.adler = adler;
        strip.bytes = (end - first) * (rowBytes_ + 1);
        return true;
    }

private:
    const PngImage& image_;
    std::size_t rowBytes_, rowsPerStrip_, primeRows_;
    Deflater deflater_;
    RowSource source_;
    RowFilter filter_;
    std::vector<std::uint8_t> window_, buffer_, compressed_;
};

// The zlib header zlib itself writes for this level.
std::array<std::uint8_t, 2> ZlibHeader(int level) {
    if (level == Z_DEFAULT_COMPRESSION) level = 6;
    const unsigned flags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = (0x78u << 8) | (flags << 6);
    header += 31 - header % 31;
    return {static_cast<std::uint8_t>(header >> 8), static_cast<std::uint8_t>(header & 0xFF)};
}

bool EncodeStrips(const PngImage& image, std::size_t rowBytes, std::size_t rowsPerStrip, int level,
                  unsigned threads, std::vector<std::uint8_t>& out) {
    std::vector<Strip> strips((image.height + rowsPerStrip - 1) / rowsPerStrip);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        try {
            StripWorker worker(image, rowBytes, rowsPerStrip, level);
            while (!failed) {
                const std::size_t index = next++;
                if (index >= strips.size()) break;
                if (!worker.Encode(index, strips[index])) failed = true;
            }
        } catch (const std::exception&) {
            failed = true;
        }
    };
    std::vector<std::thread> pool;
    const std::size_t workers = std::min<std::size_t>(std::max(threads, 1u), strips.size());
    pool.reserve(workers - 1);
    try {
        while (pool.size() + 1 < workers) pool.emplace_back(work);
    } catch (const std::system_error&) {
        // Fewer threads: the strips left are taken by those there are.
    }
    work();
    for (auto& t : pool) t.join();
    if (failed) return false;

    uLong adler = adler32(0L, Z_NULL, 0);
    for (const Strip& s : strips) adler = adler32_combine(adler, s.adler, static_cast<z_off_t>(s.bytes));
    const std::array<std::uint8_t, 2> header = ZlibHeader(level);
    const std::array<std::uint8_t, 4> trailer = {static_cast<std::uint8_t>(adler >> 24),
                                                 static_cast<std::uint8_t>(adler >> 16),
                                                 static_cast<std::uint8_t>(adler >> 8), static_cast<std::uint8_t>(adler)};
    std::vector<std::span<const std::uint8_t>> pieces;
    pieces.reserve(strips.size() + 2);
    pieces.emplace_back(header);
    for (const Strip& s : strips) pieces.emplace_back(s.deflated);
    pieces.emplace_back(trailer);
    PutHead(image, out);
    PutTail(pieces, out);
    return true;
}

}  // namespace

namespace png_detail {

std::size_t RowsPerStrip(const PngImage& image) {
    const std::size_t filteredRow = std::size_t{image.width} * BytesPerPixel(image.format) + 1;
    return std::max<std::size_t>(1, kStripBytes / filteredRow);
}

bool EncodePngPlain(const PngImage& image, std::vector<std::uint8_t>& out, int level) {
    out.clear();
    const std::size_t rowBytes = CheckedRowBytes(image);
    if (!rowBytes) return false;
    Deflater deflater(level, 15, Strategy(image));
    if (!deflater.ok()) return false;
    z_stream& z = deflater.z;
    std::vector<std::uint8_t> compressed, buffer;
    RowSource source(image);
    RowFilter filter(rowBytes, BytesPerPixel(image.format), image.format != PngFormat::Indexed8);
    bool ok = true;
    for (std::uint32_t y = 0; y < image.height && ok; ++y) {
        const std::vector<std::uint8_t>& filtered = filter.Filter(source.Row(y));
        z.next_in = const_cast<Bytef*>(filtered.data());
        z.avail_in = static_cast<uInt>(filtered.size());
        ok = Run(z, Z_NO_FLUSH, buffer, compressed);
    }
    if (!ok || !Run(z, Z_FINISH, buffer, compressed)) return false;
    PutHead(image, out);
    const std::span<const std::uint8_t> stream(compressed);
    PutTail({&stream, 1}, out);
    return true;
}

bool EncodePngOn(const PngImage& image, std::vector<std::uint8_t>& out, int level, unsigned threads) {
    out.clear();
    const std::size_t rowBytes = CheckedRowBytes(image);
    if (!rowBytes) return false;
    const std::size_t rowsPerStrip = RowsPerStrip(image);
    if (image.height <= rowsPerStrip) return EncodePngPlain(image, out, level);
    if (EncodeStrips(image, rowBytes, rowsPerStrip, level, threads, out)) return true;
    out.clear();
    return false;
}

}  // namespace png_detail

bool EncodePng(const PngImage& image, std::vector<std::uint8_t>& out, int level) {
    return png_detail::EncodePngOn(image, out, level, std::max(1u, std::thread::hardware_concurrency()));
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
