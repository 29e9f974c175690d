// The texture browser: every entry of the level's texture database with a
// thumbnail, its name, size and format and how many models and objects use
// it, filtered and sorted as the object list is. Choosing one shows it large,
// with the palette index and colour under the pointer, and marks in the view
// every object that uses it; its Save as PNG keeps the palette.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

class TextureList : public platform::ListSource {
public:
    std::vector<std::string> Columns() override;
    std::size_t Rows() override { return rows_.size(); }
    std::string Cell(std::size_t row, std::size_t column) override;
    void SetFilter(const std::string& text) override;
    void SortBy(std::size_t column, bool ascending) override;
    bool HasThumbnails() override { return true; }
    // The entry fitted into 32 x 32, decoded once as its row is first drawn.
    bool Thumbnail(std::size_t row, platform::Image& out) override;

    // Reads the entries and counts their users again (after a load or an edit).
    void Refresh();
    // The database entry of a row, or -1.
    int EntryAt(std::size_t row) const;

private:
    struct Entry {
        int index = 0;
        std::string name, size, format;
        std::size_t models = 0, objects = 0;
    };
    void Apply();
    std::vector<Entry> all_;
    std::vector<std::size_t> rows_;
    std::map<int, platform::Image> thumbnails_;
    std::string filter_;
    std::size_t sortColumn_ = 0;
    bool ascending_ = true;
};

// View / Textures.
void OpenTextureBrowser();
// A row of the list chosen: the picture window and the marks in the view.
bool ChooseTexture(int row);
// The picture window's Save as PNG: the chosen entry as a palette PNG.
bool SaveChosenTexture();
// The scene's objects changed: the counts follow.
void TexturesChanged();
