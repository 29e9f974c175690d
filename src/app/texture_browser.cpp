#include "app/texture_browser.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "app/dialogs.h"
#include "diag/log.h"
#include "diag/state_registry.h"
#include "files/texture_image.h"
#include "location/level_files.h"
#include "render/highlight.h"
#include "resources/resources.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "scene/texture_users.h"

namespace {

using platform::ListKind;

constexpr int kThumbnailSide = 32;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Owned here: the list window's source and the entry last chosen, written
// by the browser's commands, read by the list window and the picture's
// Save as PNG. The level reset closes both windows and empties it.
struct BrowserState {
    TextureList list;
    int chosen = -1;
    std::string chosenName;
};

BrowserState& Browser() {
    static BrowserState state;
    return state;
}

const StateReset kBrowserReset{"texture browser", StateLayer::App, StateScope::Level, [] {
    platform::Current().CloseList(ListKind::Textures);
    platform::Current().ClosePicture();
    Browser() = BrowserState{};
}};

// What the level's materials call each name handle: every stored version
// of a texture (its sizes) shares the name of the one in use.
std::map<std::uint32_t, std::string> NamesByHandle(const TextureDatabase& db) {
    std::map<std::uint32_t, std::string> names;
    for (const auto& model : TheScene().ModelList)
        for (const Material& m : model->materials)
            if (const TextureEntry* e = db.Entry(static_cast<int>(m.textureIndex)); m.hasTexture && e && !m.textureName.empty())
                names.emplace(e->identifier, m.textureName);
    return names;
}

std::string FormatOf(const TextureEntry& e) {
    std::string format = e.bits == 16 ? "16-bit palette" : "8-bit palette";
    if (e.bump) format += ", normal map";
    if (e.transparent) format += ", clear 0";
    if (e.kind & kInvisibleTextureKind) format += ", invisible";
    return format;
}

}  // namespace

std::vector<std::string> TextureList::Columns() { return {"Entry", "Name", "Size", "Format", "Models", "Objects"}; }

std::string TextureList::Cell(std::size_t row, std::size_t column) {
    if (row >= rows_.size()) return {};
    const Entry& e = all_[rows_[row]];
    switch (column) {
        case 0: return std::to_string(e.index);
        case 1: return e.name;
        case 2: return e.size;
        case 3: return e.format;
        case 4: return std::to_string(e.models);
        default: return std::to_string(e.objects);
    }
}

void TextureList::SetFilter(const std::string& text) {
    filter_ = Lower(text);
    Apply();
}

void TextureList::SortBy(std::size_t column, bool ascending) {
    sortColumn_ = column;
    ascending_ = ascending;
    Apply();
}

int TextureList::EntryAt(std::size_t row) const { return row < rows_.size() ? all_[rows_[row]].index : -1; }

bool TextureList::Thumbnail(std::size_t row, platform::Image& out) {
    const int entry = EntryAt(row);
    if (entry < 0) return false;
    auto it = thumbnails_.find(entry);
    if (it == thumbnails_.end()) {
        DecodedImage image;
        platform::Image thumb;
        if (TheTextureDatabase().DecodeImage(entry, false, image) && image.width && image.height) {
            // Nearest texels, the longer side fitted: a texture's pixels stay crisp.
            const std::uint32_t longer = std::max(image.width, image.height);
            thumb.width = static_cast<int>(std::max<std::uint32_t>(1, image.width * kThumbnailSide / longer));
            thumb.height = static_cast<int>(std::max<std::uint32_t>(1, image.height * kThumbnailSide / longer));
            thumb.rgba.resize(std::size_t(thumb.width) * thumb.height * 4);
            for (int y = 0; y < thumb.height; ++y)
                for (int x = 0; x < thumb.width; ++x) {
                    const std::size_t sx = std::size_t(x) * image.width / thumb.width;
                    const std::size_t sy = std::size_t(y) * image.height / thumb.height;
                    std::copy_n(&image.rgba[(sy * image.width + sx) * 4], 4,
                                &thumb.rgba[(std::size_t(y) * thumb.width + x) * 4]);
                }
        }
        it = thumbnails_.emplace(entry, std::move(thumb)).first;
    }
    if (it->second.rgba.empty()) return false;
    out = it->second;
    return true;
}

void TextureList::Refresh() {
    const TextureDatabase& db = TheTextureDatabase();
    const std::vector<TextureUsers> users = FindTextureUsers(db.entries.size());
    const std::map<std::uint32_t, std::string> names = NamesByHandle(db);
    all_.clear();
    for (std::size_t k = 0; k < db.entries.size(); ++k) {
        const TextureEntry& e = db.entries[k];
        Entry row;
        row.index = static_cast<int>(k);
        if (const auto it = names.find(e.identifier); it != names.end()) {
            row.name = it->second;
        } else {
            char handle[16];
            std::snprintf(handle, sizeof handle, "0x%08X", static_cast<unsigned>(e.identifier));
            row.name = handle;  // no material names it
        }
        row.size = std::to_string(e.width) + " x " + std::to_string(e.height);
        row.format = FormatOf(e);
        row.models = users[k].models.size();
        row.objects = users[k].records.size();
        all_.push_back(std::move(row));
    }
    Apply();
}

void TextureList::Apply() {
    rows_.clear();
    for (std::size_t k = 0; k < all_.size(); ++k) {
        const Entry& e = all_[k];
        if (filter_.empty() || Lower(e.name).find(filter_) != std::string::npos ||
            Lower(e.format).find(filter_) != std::string::npos || std::to_string(e.index) == filter_)
            rows_.push_back(k);
    }
    std::stable_sort(rows_.begin(), rows_.end(), [this](std::size_t a, std::size_t b) {
        const Entry &x = all_[ascending_ ? a : b], &y = all_[ascending_ ? b : a];
        switch (sortColumn_) {
            case 1: return Lower(x.name) < Lower(y.name);
            case 2: return std::stoul(x.size) * std::stoul(x.size.substr(x.size.find('x') + 1)) <
                           std::stoul(y.size) * std::stoul(y.size.substr(y.size.find('x') + 1));
            case 3: return x.format < y.format;
            case 4: return x.models < y.models;
            case 5: return x.objects < y.objects;
            default: return x.index < y.index;
        }
    });
}

void OpenTextureBrowser() {
    Browser().list.Refresh();
    platform::Current().ShowList(ListKind::Textures, "Textures", Browser().list);
}

void TexturesChanged() {
    if (!platform::Current().ListShown(ListKind::Textures)) return;
    Browser().list.Refresh();
    platform::Current().RefreshList(ListKind::Textures);
}

bool ChooseTexture(int row) {
    const int entry = Browser().list.EntryAt(static_cast<std::size_t>(std::max(row, 0)));
    const TextureDatabase& db = TheTextureDatabase();
    const TextureEntry* e = db.Entry(entry);
    DecodedImage image;
    TexturePixels pixels;
    if (!e || !db.DecodeImage(entry, false, image) || !db.ReadPixels(entry, false, pixels) || image.width == 0 ||
        pixels.indices.size() < std::size_t{image.width} * image.height)
        return false;
    Browser().chosen = entry;
    Browser().chosenName = Browser().list.Cell(static_cast<std::size_t>(row), 1);
    const std::vector<TextureUsers> users = FindTextureUsers(db.entries.size());
    TheHighlight().models = users[static_cast<std::size_t>(entry)].models;

    platform::PictureRequest picture;
    const std::string& name = Browser().chosenName;
    picture.title = "Texture " + std::to_string(entry) + ": " + name + " (" + std::to_string(image.width) + " x " +
                    std::to_string(image.height) + ")";
    picture.image = {static_cast<int>(image.width), static_cast<int>(image.height), std::move(image.rgba)};
    const std::vector<std::uint8_t> palette = db.PaletteRgbaOf(*e, pixels);
    picture.describe = [indices = std::move(pixels.indices), palette, w = pixels.width, h = pixels.height](int x, int y) {
        if (x < 0 || y < 0 || static_cast<std::uint32_t>(x) >= w || static_cast<std::uint32_t>(y) >= h) return std::string();
        const std::uint8_t index = indices[std::size_t(y) * w + static_cast<std::size_t>(x)];
        const std::size_t at = std::size_t{index} * 4;
        char text[96];
        if (at + 3 < palette.size())
            std::snprintf(text, sizeof text, "x %d, y %d: index %u, colour %u %u %u%s", x, y, index, palette[at],
                          palette[at + 1], palette[at + 2], palette[at + 3] == 0 ? " (clear)" : "");
        else
            std::snprintf(text, sizeof text, "x %d, y %d: index %u, past the palette", x, y, index);
        return std::string(text);
    };
    picture.buttons = {{"Save as PNG...", kCmdSaveTexturePng}};
    platform::Current().ShowPicture(picture);
    LogPrintf("Texture %d (%s): %zu models, %zu objects use it\n", entry, name.c_str(),
              users[static_cast<std::size_t>(entry)].models.size(), users[static_cast<std::size_t>(entry)].records.size());
    return true;
}

bool SaveChosenTexture() {
    const int entry = Browser().chosen;
    if (entry < 0) return false;
    std::string name = Browser().chosenName;
    name = name.substr(name.find_last_of("/\\") + 1);  // "demo\\bricks": "bricks"
    if (name.empty() || name.find_first_of("/\\:*?\"<>|") != std::string::npos) name = "texture-" + std::to_string(entry);
    const std::string path = AskWhereTo("Save texture as PNG", name + ".png", {"PNG images", "*.png"}, {".png"});
    if (path.empty()) return false;
    std::string error;
    if (!WritePaletteTexturePng(TheTextureDatabase(), entry, path, error)) {
        Tell(error, "Save texture as PNG", platform::Icon::Exclamation);
        return false;
    }
    LogPrintf("Texture %d saved as %s\n", entry, path.c_str());
    return true;
}
