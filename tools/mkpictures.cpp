// mkpictures: rasterises the program's own pictures when it is built, at
// the sizes the window draws them, so that the program neither parses SVG
// nor decodes an image file while it starts. Usage:
//
//     mkpictures OUTPUT.cpp PICTURE:SIDE[,SIDE...]...
//
// An SVG picture is drawn at each side given, as QSvgRenderer draws it into
// a transparent image of that size (the larger sides are for screens with
// a higher scale factor); an XPM picture is taken as it is, and its one
// side must be its size. OUTPUT.cpp defines pictures::raster::kAll (see
// pictures/pictures_raster.h): premultiplied ARGB32 pixels, row by row.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

QImage draw(const fs::path& path, int side) {
    const QString file = QString::fromStdString(path.string());
    if (path.extension() == ".svg") {
        QSvgRenderer renderer(file);
        if (!renderer.isValid()) throw std::runtime_error("not a picture: " + path.string());
        QImage image(QSize(side, side), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        return image;
    }
    const QImage image(file);
    if (image.isNull()) throw std::runtime_error("not a picture: " + path.string());
    if (image.size() != QSize(side, side)) {
        throw std::runtime_error(path.string() + " is not " + std::to_string(side) + " pixels");
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

std::vector<int> sides(const std::string& list) {
    std::vector<int> out;
    std::stringstream in(list);
    std::string side;
    while (std::getline(in, side, ',')) {
        const int value = std::stoi(side);
        if (value < 1 || value > 256) throw std::runtime_error("no side " + side);
        out.push_back(value);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: mkpictures OUTPUT.cpp PICTURE:SIDE[,SIDE...]...\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    try {
        std::ostringstream pixels;
        std::ostringstream table;
        int count = 0;
        for (int i = 2; i < argc; ++i) {
            const std::string arg = argv[i];
            const size_t colon = arg.rfind(':');
            if (colon == std::string::npos) throw std::runtime_error("no sides: " + arg);
            const fs::path path = arg.substr(0, colon);
            for (int side : sides(arg.substr(colon + 1))) {
                const QImage image = draw(path, side);
                pixels << "alignas(16) const std::uint32_t p" << count << "[] = {";
                for (int y = 0; y < side; ++y) {
                    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
                    for (int x = 0; x < side; ++x) {
                        pixels << ((x % 8) ? " " : "\n    ") << "0x" << std::hex << row[x]
                               << std::dec << "u,";
                    }
                }
                pixels << "\n};\n";
                table << "    {\"" << path.stem().string() << "\", " << side << ", p" << count
                      << "},\n";
                ++count;
            }
        }
        const fs::path output = argv[1];
        const fs::path aside = output.string() + ".new";
        {
            std::ofstream out(aside, std::ios::trunc);
            out << "// Written by mkpictures when the program is built.\n"
                << "#include \"pictures/pictures_raster.h\"\n\n"
                << "namespace pictures::raster {\nnamespace {\n\n"
                << pixels.str() << "\n}  // namespace\n\n"
                << "const Raster kAll[] = {\n"
                << table.str() << "};\n"
                << "const std::size_t kCount = " << count << ";\n\n"
                << "}  // namespace pictures::raster\n";
            if (!out) throw std::runtime_error("cannot write " + aside.string());
        }
        fs::rename(aside, output);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mkpictures: %s\n", e.what());
        return 1;
    }
    return 0;
}
