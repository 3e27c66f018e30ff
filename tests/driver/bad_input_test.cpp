// The bad-input sweep: the real program against a data folder in which one of
// the ten files is broken at a time (missing, empty, cut short, wrong magic,
// random bytes, a picture of the wrong size, a mesh whose faces point past its
// vertices, a module with nothing to play). Every run must stop before anything
// opens with exactly one line on stderr that names the broken file, exit code
// 1, and leave no file behind: run with no display, the program would
// otherwise render to glimmerfrost.mp4 in its working directory, and in
// capture mode it must not leave the video or a partial file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "common/data_set.h"
#include "support/run_process.h"
#include "writers/it_writer.h"
#include "writers/jpeg_writer.h"
#include "writers/tds_writer.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

// The data set's files, with the size each picture must have.
struct DataFile {
    const char* name;
    int width = 0;       // pictures only
    int min_height = 0;  // pictures only
};

constexpr std::array<DataFile, gf::kDataFileCount> kFiles = [] {
    std::array<DataFile, gf::kDataFileCount> files{};
    for (std::size_t i = 0; i < files.size(); ++i) files[i].name = gf::kDataFiles[i];
    for (const gf::PictureSize& need : gf::kPictureSizes) {
        for (DataFile& file : files) {
            if (std::string_view(file.name) == need.file) {
                file.width = need.width;
                file.min_height = need.min_height;
            }
        }
    }
    return files;
}();

// Test names and failure messages show the file's name.
void PrintTo(const DataFile& file, std::ostream* os) { *os << file.name; }

bool is_picture(const std::string& name) { return name.size() > 4 && name.substr(name.size() - 4) == ".jpg"; }

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

// A picture of the given size drawn as a gradient.
Bytes picture(int width, int height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels[static_cast<size_t>(y * width + x)] = static_cast<uint32_t>(((x & 0xFF) << 16) | ((y & 0xFF) << 8));
        }
    }
    Bytes out;
    const auto result = gf::jpegw::encode_jpeg(pixels.data(), width, height, {}, out);
    EXPECT_TRUE(result.ok) << result.message;
    return out;
}

// A cube-like mesh whose last face points at vertex `bad_index` of eight.
Bytes mesh_with_face_index(uint16_t bad_index) {
    using namespace gf::tds;
    std::vector<Vertex> vertices;
    for (int i = 0; i < 8; ++i) {
        vertices.push_back({static_cast<float>(i & 1), static_cast<float>((i >> 1) & 1), static_cast<float>(i >> 2)});
    }
    const std::vector<Face> faces = {{0, 1, 2, 0}, {1, 3, 2, 0}, {4, 5, bad_index, 0}};
    return serialize(main_chunk(
        {editor_chunk({object_block("Box01", {triangle_mesh({vertex_list(vertices), face_list(faces)})})})}));
}

// A well-formed module whose order list holds only the given entries.
Bytes module_with_orders(const std::vector<int>& orders) {
    gf::itw::Module module;
    module.title = "no orders";
    gf::itw::Instrument instrument;
    instrument.name = "beep";
    module.instruments = {instrument, instrument, instrument, instrument, instrument, instrument};
    gf::itw::Sample sample;
    sample.data.assign(256, 1000);
    module.samples = {sample};
    gf::itw::Pattern pattern(8, 2);
    pattern.at(0, 0) = gf::itw::Cell{gf::itw::kMiddleC, 1, -1, 0, 0};
    module.patterns = {pattern};
    module.orders = orders;
    return gf::itw::write_it(module);
}

// One way of breaking a file: a label and the bytes to write (none: delete it).
struct Breakage {
    std::string label;
    std::function<bool(const Bytes& good, Bytes& broken)> make;  // false: remove the file
};

std::vector<Breakage> generic_breakages(const std::string& name) {
    std::vector<Breakage> list;
    list.push_back({"missing", [](const Bytes&, Bytes&) { return false; }});
    list.push_back({"empty", [](const Bytes&, Bytes& out) {
                        out.clear();
                        return true;
                    }});
    // Cut inside the header, a third of the way in, half way, and just before the end.
    for (const double fraction : {0.0, 1.0 / 3.0, 0.5, 1.0}) {
        list.push_back({"truncated at " + std::to_string(static_cast<int>(fraction * 100)) + "%",
                        [fraction](const Bytes& good, Bytes& out) {
                            size_t keep = static_cast<size_t>(static_cast<double>(good.size()) * fraction);
                            keep = std::clamp<size_t>(keep, 3, good.size() - 2);
                            out.assign(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(keep));
                            return true;
                        }});
    }
    list.push_back({"wrong magic", [name](const Bytes& good, Bytes& out) {
                        out = good;
                        // The first bytes identify each format: FF D8 (JPEG), IMPM, 4D 4D.
                        const size_t magic = is_picture(name) ? 2 : name == gf::kModuleFile ? 4 : 2;
                        for (size_t i = 0; i < magic; ++i) {
                            out[i] = static_cast<uint8_t>('Z' - i);
                        }
                        return true;
                    }});
    list.push_back({"random bytes", [](const Bytes& good, Bytes& out) {
                        std::mt19937 generator(20261207);
                        out.resize(good.size());
                        for (uint8_t& byte : out) {
                            byte = static_cast<uint8_t>(generator() >> 24);
                        }
                        return true;
                    }});
    return list;
}

std::vector<Breakage> specific_breakages(const DataFile& file) {
    std::vector<Breakage> list;
    const std::string name = file.name;
    if (is_picture(name)) {
        const int w = file.width;
        const int h = file.min_height;
        // One column too few, one column too many, one row too few.
        for (const auto& [width, height] : {std::pair{w - 1, h}, std::pair{w + 1, h}, std::pair{w, h - 1}}) {
            list.push_back({"picture of " + std::to_string(width) + " x " + std::to_string(height),
                            [width = width, height = height](const Bytes&, Bytes& out) {
                                out = picture(width, height);
                                return true;
                            }});
        }
    } else if (name == gf::kMeshFile) {
        for (const uint16_t index : {uint16_t{8}, uint16_t{0xFFFF}}) {
            list.push_back(
                {"face index " + std::to_string(index) + " of 8 vertices", [index](const Bytes&, Bytes& out) {
                     out = mesh_with_face_index(index);
                     return true;
                 }});
        }
    } else if (name == gf::kModuleFile) {
        // An order list holding only its end marker is how a module with no orders is stored.
        list.push_back({"no orders", [](const Bytes&, Bytes& out) {
                            out = module_with_orders({255});
                            return true;
                        }});
        list.push_back({"only skip and end markers", [](const Bytes&, Bytes& out) {
                            out = module_with_orders({254, 254, 255});
                            return true;
                        }});
    }
    return list;
}

struct Outcome {
    gf::testing::ProcessResult result;
    std::vector<std::string> leftovers;  // files in the working directory afterwards
};

class BadInputSweep : public ::testing::TestWithParam<DataFile> {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("gf-bad-input-" + std::to_string(::getpid()) + "-" + GetParam().name);
        fs::remove_all(root_);
        fs::create_directories(root_ / "data");
        for (const DataFile& file : kFiles) {
            const fs::path source = fs::path(GF_DATA_DIR) / file.name;
            ASSERT_TRUE(fs::exists(source)) << source << " is missing; build the dataset target";
            fs::copy_file(source, root_ / "data" / file.name);
        }
        good_ = read_file(root_ / "data" / GetParam().name);
        ASSERT_GT(good_.size(), 16u);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // Runs the program in a fresh working directory with no display; `extra` are further options.
    Outcome run(const std::vector<std::string>& extra) {
        const fs::path cwd = root_ / "cwd";
        fs::remove_all(cwd);
        fs::create_directories(cwd);
        gf::testing::ProcessOptions options;
        options.args = {"--data", (root_ / "data").string(), "--max-frames", "3"};
        options.args.insert(options.args.end(), extra.begin(), extra.end());
        options.env = {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"SDL_VIDEODRIVER", ""}, {"SDL_AUDIODRIVER", "dummy"}};
        options.working_dir = cwd.string();
        options.timeout_seconds = 120;
        Outcome outcome;
        outcome.result = gf::testing::run_process(GF_EXECUTABLE, options);
        for (const auto& entry : fs::recursive_directory_iterator(cwd)) {
            outcome.leftovers.push_back(fs::relative(entry.path(), cwd).string());
        }
        return outcome;
    }

    // The one stderr line must name the file and say more than its name.
    void expect_refused(const Outcome& outcome, const std::string& what) {
        const std::string name = GetParam().name;
        const auto& r = outcome.result;
        SCOPED_TRACE(name + ", " + what);
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.signal, 0) << "killed by a signal\n" << r.err;
        EXPECT_EQ(r.exit_code, 1) << r.err;
        const std::vector<std::string> lines = gf::testing::lines_of(r.err);
        ASSERT_EQ(lines.size(), 1u) << r.err;
        const std::string& line = lines[0];
        EXPECT_EQ(line.rfind("glimmerfrost: ", 0), 0u) << line;
        const size_t at = line.find(name);
        ASSERT_NE(at, std::string::npos) << "the message does not name " << name << ": " << line;
        // The problem is told too: some words besides the file's name and location.
        std::string rest = line.substr(0, at) + line.substr(at + name.size());
        rest.erase(0, std::string("glimmerfrost: ").size());
        const std::string folder = (root_ / "data").string();
        for (size_t pos; (pos = rest.find(folder)) != std::string::npos;) {
            rest.erase(pos, folder.size());
        }
        EXPECT_GE(std::count(rest.begin(), rest.end(), ' '), 2) << "no problem named: " << line;
        EXPECT_TRUE(outcome.leftovers.empty()) << "left behind: " << outcome.leftovers.front();
        EXPECT_TRUE(r.out.empty()) << r.out;
    }

    void sweep(const std::vector<Breakage>& breakages, const std::vector<std::string>& extra) {
        const fs::path target = root_ / "data" / GetParam().name;
        for (const Breakage& breakage : breakages) {
            Bytes broken;
            if (breakage.make(good_, broken)) {
                write_file(target, broken);
            } else {
                fs::remove(target);
            }
            expect_refused(run(extra), breakage.label);
            write_file(target, good_);
        }
    }

    fs::path root_;
    Bytes good_;
};

TEST_P(BadInputSweep, RefusedWithOneLineWhenNoDisplay) {
    sweep(generic_breakages(GetParam().name), {});
    sweep(specific_breakages(GetParam()), {});
}

TEST_P(BadInputSweep, CaptureLeavesNoFile) {
    // A subset suffices here: the checks are the same, only the output differs.
    std::vector<Breakage> breakages = generic_breakages(GetParam().name);
    breakages.erase(breakages.begin() + 1, breakages.end() - 2);  // missing, wrong magic, random bytes
    const std::vector<Breakage> specific = specific_breakages(GetParam());
    breakages.insert(breakages.end(), specific.begin(), specific.end());
    sweep(breakages, {"--capture", "show.mp4"});
    sweep(breakages, {"--frames", "frames"});
}

// Control: the untouched copy is accepted and renders its three frames, so the
// sweep's refusals come from the broken file and not from the set-up.
TEST_P(BadInputSweep, UntouchedCopyRenders) {
    const Outcome outcome = run({"--capture", "show.mp4"});
    EXPECT_EQ(outcome.result.exit_code, 0) << outcome.result.err;
    ASSERT_EQ(outcome.leftovers.size(), 1u);
    EXPECT_EQ(outcome.leftovers[0], "show.mp4");
}

INSTANTIATE_TEST_SUITE_P(EachDataFile, BadInputSweep, ::testing::ValuesIn(kFiles),
                         [](const ::testing::TestParamInfo<DataFile>& param_info) {
                             std::string label = param_info.param.name;
                             std::replace(label.begin(), label.end(), '.', '_');
                             return label;
                         });

}  // namespace
