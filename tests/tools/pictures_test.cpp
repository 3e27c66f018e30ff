// The generated pictures: decoded by libjpeg on their own, they have the sizes
// the show reads, the textures tile, the greetings sit in separate bands,
// the greetings stay legible over the scrolling scene and clear of its
// figures, the beat flashes stay gentle, the Christmas tree's ornaments keep
// apart, the bitmap fonts are whole, every run gives the same bytes, and the
// contact sheet shows them all.
#include "datagen/pictures.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "datagen/pictures_recipes.h"
#include "datagen/pixel_font.h"

namespace gf::datagen {
namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    explicit TempDir(const std::string& tag) {
        path_ = fs::temp_directory_path() / ("gf_pictures_" + tag + "_" + std::to_string(::getpid()));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string str() const { return path_.string(); }
    fs::path path() const { return path_; }

private:
    fs::path path_;
};

std::vector<uint8_t> read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An RGB picture decoded straight with libjpeg, independent of the show's loader.
struct Decoded {
    int width = 0;
    int height = 0;
    int components = 0;
    bool progressive = true;
    std::vector<uint8_t> rgb;
    int at(int x, int y, int c) const { return rgb[(static_cast<std::size_t>(y) * width + x) * 3 + c]; }
    double luma(int x, int y) const { return 0.299 * at(x, y, 0) + 0.587 * at(x, y, 1) + 0.114 * at(x, y, 2); }
};

struct JumpingErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void jump_out(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JumpingErrors*>(cinfo->err)->jump, 1); }

bool decode_rgb(const std::vector<uint8_t>& bytes, jpeg_decompress_struct& cinfo, JumpingErrors& errors, Decoded& out) {
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = jump_out;
    if (setjmp(errors.jump)) return false;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    out.components = cinfo.num_components;
    out.progressive = cinfo.progressive_mode != 0;
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * out.width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

Decoded decode_file(const fs::path& path) {
    Decoded decoded;
    jpeg_decompress_struct cinfo{};
    JumpingErrors errors{};
    const std::vector<uint8_t> bytes = read_bytes(path);
    const bool ok = decode_rgb(bytes, cinfo, errors, decoded);
    jpeg_destroy_decompress(&cinfo);
    EXPECT_TRUE(ok) << path << " does not decode";
    return decoded;
}

// The data set is written once for the whole suite.
class Pictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir("set");
        result_ = write_pictures(dir_->str());
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(result_.ok) << result_.message; }
    static Decoded decode(const std::string& name) { return decode_file(dir_->path() / name); }

    static TempDir* dir_;
    static Status result_;
};
TempDir* Pictures::dir_ = nullptr;
Status Pictures::result_;

TEST_F(Pictures, EachDecodesAtTheSizeItsScenesRead) {
    // Each at the width its scenes read and the least height they need (common/data_set.h).
    for (const PictureSize& size : kPictureSizes) {
        SCOPED_TRACE(size.file);
        const Decoded picture = decode(size.file);
        EXPECT_EQ(picture.width, size.width);
        EXPECT_EQ(picture.height, size.min_height);
        EXPECT_EQ(picture.components, 3);
        EXPECT_FALSE(picture.progressive);
    }
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_->path())) ++files;
    EXPECT_EQ(files, kPictureSizes.size());
}

// Mean absolute difference, over all channels, between column a and column b
// (or rows, when `rows` is set) of a decoded texture.
double line_difference(const Decoded& t, int a, int b, bool rows) {
    double sum = 0.0;
    for (int i = 0; i < t.width; ++i) {
        for (int c = 0; c < 3; ++c) {
            sum += rows ? std::abs(t.at(i, a, c) - t.at(i, b, c)) : std::abs(t.at(a, i, c) - t.at(b, i, c));
        }
    }
    return sum / (3.0 * t.width);
}

TEST_F(Pictures, TexturesTileWithoutASeam) {
    // The ray caster wraps texture coordinates at 256, so column 255 sits next
    // to column 0 and row 255 next to row 0. That step must look like any
    // other step between neighbours.
    for (const char* name : {"glimzz.jpg", "muur.jpg"}) {
        SCOPED_TRACE(name);
        const Decoded texture = decode(name);
        ASSERT_EQ(texture.width, 256);
        ASSERT_EQ(texture.height, 256);
        for (bool rows : {false, true}) {
            double interior = 0.0;
            for (int i = 0; i < 255; ++i) interior += line_difference(texture, i, i + 1, rows);
            interior /= 255.0;
            const double seam = line_difference(texture, 255, 0, rows);
            EXPECT_LE(seam, interior) << (rows ? "rows" : "columns") << ": seam " << seam << ", interior " << interior;
            // And the texture is not flat, which would pass trivially.
            EXPECT_GT(interior, 4.0);
        }
    }
}

TEST_F(Pictures, TitleCardHasStructureEverywhere) {
    // The title card is swirled over the whole frame: no 40 × 40 cell may be flat.
    const Decoded card = decode("presents.jpg");
    for (int cy = 0; cy < 200; cy += 40) {
        for (int cx = 0; cx < 320; cx += 40) {
            double sum = 0.0, squares = 0.0;
            for (int y = cy; y < cy + 40; ++y) {
                for (int x = cx; x < cx + 40; ++x) {
                    const double l = card.luma(x, y);
                    sum += l;
                    squares += l * l;
                }
            }
            const double mean = sum / 1600.0;
            EXPECT_GT(std::sqrt(squares / 1600.0 - mean * mean), 3.0) << "flat cell at " << cx << ", " << cy;
        }
    }
}

TEST_F(Pictures, GreetingsAreBrightTextInSeparateBands) {
    // One 80-row band is shown at a time and added over another picture: the
    // background is black, each band has bright text, and nothing crosses a
    // band edge.
    const Decoded greetings = decode("finalgrtz.jpg");
    ASSERT_EQ(greetings.height, 400);
    for (int band = 0; band < 5; ++band) {
        SCOPED_TRACE("band " + std::to_string(band));
        const int top = band * 80;
        int bright = 0, black = 0;
        for (int y = top; y < top + 80; ++y) {
            for (int x = 0; x < 320; ++x) {
                const double l = greetings.luma(x, y);
                bright += l > 200.0;
                black += l < 16.0;
            }
        }
        EXPECT_GT(bright, 400);
        EXPECT_GT(black, 320 * 80 * 6 / 10);
        for (int y : {top, top + 1, top + 78, top + 79}) {
            for (int x = 0; x < 320; ++x) ASSERT_LT(greetings.luma(x, y), 24.0) << "row " << y << " column " << x;
        }
    }
}

double share_of_luma(const Decoded& picture, double above) {
    int count = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) count += picture.luma(x, y) > above;
    }
    return count / static_cast<double>(picture.width * picture.height);
}

TEST_F(Pictures, BeatFlashesStayGentle) {
    // The credits are inverted on every beat: a mid-grey average keeps the
    // overall brightness steady, while dark outlines and light letters keep
    // the text readable both ways round. The burst flashes in on a hit and
    // must not turn the screen mostly white.
    const Decoded credits = decode("credits.jpg");
    double sum = 0.0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 320; ++x) sum += credits.luma(x, y);
    }
    const double mean = sum / 64000.0;
    EXPECT_GE(mean, 100.0);
    EXPECT_LE(mean, 155.0);
    EXPECT_GT(share_of_luma(credits, 200.0), 0.02);       // light letters
    EXPECT_GT(1.0 - share_of_luma(credits, 60.0), 0.02);  // dark outlines
    EXPECT_LE(share_of_luma(decode("boem.jpg"), 160.0), 0.40);
}

TEST_F(Pictures, GreetingsStayLegibleOverTheScrollingScene) {
    // The show adds one greetings band onto rows 60..139 of a 200-row window
    // of the tall scene, the window starting anywhere in rows 0..280. Where
    // the band is text, the sum must stay clearly brighter than where it is
    // background; a bright scene saturates both to white.
    const Decoded scene = decode("goodboy.jpg");
    const Decoded greetings = decode("finalgrtz.jpg");
    int legible = 0, cases = 0;
    for (int band = 0; band < 5; ++band) {
        for (int offset = 0; offset <= 280; offset += 4) {
            double text = 0.0, background = 0.0;
            int text_count = 0, background_count = 0;
            for (int row = 0; row < 80; ++row) {
                for (int x = 0; x < 320; ++x) {
                    const double band_luma = greetings.luma(x, band * 80 + row);
                    if (band_luma < 160.0 && band_luma > 40.0) continue;
                    double sum[3];
                    for (int c = 0; c < 3; ++c) {
                        sum[c] = std::min(255, scene.at(x, offset + 60 + row, c) + greetings.at(x, band * 80 + row, c));
                    }
                    const double luma = 0.299 * sum[0] + 0.587 * sum[1] + 0.114 * sum[2];
                    (band_luma >= 160.0 ? text : background) += luma;
                    ++(band_luma >= 160.0 ? text_count : background_count);
                }
            }
            ASSERT_GT(text_count, 0);
            ++cases;
            legible += text / text_count - background / background_count >= 60.0;
        }
    }
    EXPECT_GE(legible, cases * 95 / 100) << legible << " of " << cases << " positions legible";
}

TEST_F(Pictures, GreetingsKeepClearOfTheSnowmanAndTheDog) {
    // The band is added over the scene at every height the window reaches, so
    // only columns keep them apart: every lit pixel of every band lies in the
    // greetings' columns, the dog (the only orange and red of the snowfield)
    // in its own, and the figures' columns miss the greetings'.
    const Decoded greetings = decode("finalgrtz.jpg");
    for (int y = 0; y < greetings.height; ++y) {
        for (int x = 0; x < 320; ++x) {
            if (greetings.luma(x, y) < 40.0) continue;
            ASSERT_TRUE(x >= kGreetingsColumns.left - 2 && x < kGreetingsColumns.right + 2)
                << "greetings pixel at " << x << ", " << y;
        }
    }
    const Decoded scene = decode("goodboy.jpg");
    int dog = 0;
    for (int y = 380; y < 480; ++y) {
        for (int x = 0; x < 320; ++x) {
            if (scene.at(x, y, 0) < 110 || scene.at(x, y, 0) - scene.at(x, y, 1) < 40) continue;
            ++dog;
            ASSERT_TRUE(x >= kDogColumns.left - 2 && x < kDogColumns.right + 2) << "dog pixel at " << x << ", " << y;
        }
    }
    EXPECT_GT(dog, 500);
    for (const Columns figure : {kSnowmanColumns, kDogColumns}) {
        EXPECT_TRUE(figure.right <= kGreetingsColumns.left || figure.left >= kGreetingsColumns.right)
            << figure.left << ".." << figure.right;
    }
}

TEST(ChristmasTree, OrnamentsLieOnTheTreeApart) {
    // No bauble touches another or a garland; baubles and garlands stay inside
    // the tree's outline.
    const ChristmasTree tree = christmas_tree_layout();
    ASSERT_GE(tree.baubles.size(), 10u);
    ASSERT_EQ(tree.garlands.size(), tree.tiers.size());
    auto inside = [&](double x, double y, double margin) {
        return std::abs(x - tree.x) + margin <= tree.half_width(y);
    };
    for (std::size_t i = 0; i < tree.baubles.size(); ++i) {
        const Bauble& a = tree.baubles[i];
        SCOPED_TRACE("bauble at " + std::to_string(a.x) + ", " + std::to_string(a.y));
        EXPECT_TRUE(inside(a.x, a.y - a.radius, a.radius));
        for (std::size_t j = i + 1; j < tree.baubles.size(); ++j) {
            const Bauble& b = tree.baubles[j];
            EXPECT_GT(std::hypot(a.x - b.x, a.y - b.y), a.radius + b.radius) << "touches " << b.x << ", " << b.y;
        }
        for (const auto& garland : tree.garlands) {
            for (const auto& [gx, gy] : garland) {
                EXPECT_GT(std::hypot(a.x - gx, a.y - gy), a.radius + tree.garland_width / 2) << "garland " << gx;
            }
        }
    }
    for (const auto& garland : tree.garlands) {
        for (const auto& [gx, gy] : garland) {
            EXPECT_TRUE(inside(gx, gy, tree.garland_width / 2)) << "garland point " << gx << ", " << gy;
        }
    }
}

TEST(PixelFont, EveryGlyphIsWholeAndAMissingOneIsNamed) {
    for (const Typeface face : {Typeface::small, Typeface::large}) {
        const std::string characters = face_characters(face);
        for (const char c : std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!-. ")) {
            EXPECT_NE(characters.find(c), std::string::npos) << "missing '" << c << "'";
        }
        for (const char c : characters) {
            const GlyphCells glyph = glyph_cells(face, c);
            SCOPED_TRACE(std::string("glyph '") + c + "'");
            ASSERT_GT(glyph.width, 0);
            ASSERT_EQ(std::string(glyph.cells).size(), static_cast<std::size_t>(glyph.width * glyph.height));
            EXPECT_EQ(std::string(glyph.cells).find_first_not_of("#."), std::string::npos);
        }
        try {
            glyph_cells(face, '~');
            ADD_FAILURE() << "no error for a missing glyph";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find("'~'"), std::string::npos) << error.what();
        }
    }
}

TEST_F(Pictures, WritingIsDeterministic) {
    TempDir again("again");
    ASSERT_TRUE(write_pictures(again.str()).ok);
    for (const auto& entry : fs::directory_iterator(dir_->path())) {
        const auto name = entry.path().filename();
        SCOPED_TRACE(name.string());
        const std::vector<uint8_t> first = read_bytes(entry.path());
        EXPECT_GT(first.size(), 10000u);
        EXPECT_EQ(first, read_bytes(again.path() / name));
    }
}

TEST(PicturesWrite, UnwritableFolderFailsNamingTheFile) {
    const Status result = write_pictures("/nonexistent/folder");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("/nonexistent/folder/glimzz.jpg"), std::string::npos) << result.message;
}

TEST(ContactSheet, ShowsEveryPictureAtItsSlot) {
    // GF_CONTACT_SHEET_OUT, when set, is where the sheet is kept (docs/).
    const char* keep = std::getenv("GF_CONTACT_SHEET_OUT");
    TempDir dir("sheet");
    const std::string path = keep != nullptr ? std::string(keep) : (dir.path() / "sheet.png").string();
    const std::vector<Picture> pictures = draw_pictures();
    ASSERT_EQ(pictures.size(), 8u);
    Picture sheet;
    const Status result = write_contact_sheet(pictures, path, &sheet);
    ASSERT_TRUE(result.ok) << result.message;

    const std::vector<uint8_t> png = read_bytes(path);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(png.begin(), png.begin() + 8),
              (std::vector<uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));

    for (int i = 0; i < 8; ++i) {
        const Picture& picture = pictures[static_cast<std::size_t>(i)];
        SCOPED_TRACE(picture.file);
        const SheetSlot slot = contact_sheet_slot(i);
        ASSERT_LE(slot.x + picture.width, sheet.width);
        ASSERT_LE(slot.y + picture.height, sheet.height);
        // The corners and the centre of each picture appear unchanged on the sheet.
        for (const auto& [x, y] :
             {std::pair{0, 0}, std::pair{picture.width - 1, 0}, std::pair{0, picture.height - 1},
              std::pair{picture.width - 1, picture.height - 1}, std::pair{picture.width / 2, picture.height / 2}}) {
            EXPECT_EQ(sheet.pixels[static_cast<std::size_t>(slot.y + y) * sheet.width + slot.x + x],
                      picture.pixels[static_cast<std::size_t>(y) * picture.width + x]);
        }
    }
    // No two pictures overlap.
    for (int a = 0; a < 8; ++a) {
        for (int b = a + 1; b < 8; ++b) {
            const SheetSlot sa = contact_sheet_slot(a), sb = contact_sheet_slot(b);
            const Picture& pa = pictures[static_cast<std::size_t>(a)];
            const Picture& pb = pictures[static_cast<std::size_t>(b)];
            const bool apart = sa.x + pa.width <= sb.x || sb.x + pb.width <= sa.x || sa.y + pa.height <= sb.y ||
                               sb.y + pb.height <= sa.y;
            EXPECT_TRUE(apart) << pa.file << " overlaps " << pb.file;
        }
    }
}

}  // namespace
}  // namespace gf::datagen
