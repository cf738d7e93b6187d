// Writes one size of a program's icon as a PNG, for the desktop's icon theme, which takes no .ico files.
//   iconpng INPUT SIZE OUTPUT

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: iconpng INPUT SIZE OUTPUT\n");
        return 2;
    }
    const int size = std::atoi(argv[2]);
    if (size <= 0 || size > 1024) {
        std::fprintf(stderr, "iconpng: SIZE must be 1 to 1024, not '%s'\n", argv[2]);
        return 2;
    }
    QCoreApplication application(argc, argv); // loads the image format plugins

    // An .ico holds several images; take the one of the size asked for, else the largest, scaled.
    QImageReader reader(QString::fromLocal8Bit(argv[1]));
    QImage best;
    do {
        const QImage image = reader.read();
        if (image.isNull())
            break;
        if (best.isNull() || image.width() == size || (best.width() != size && image.width() > best.width()))
            best = image;
    } while (reader.jumpToNextImage());
    if (best.isNull()) {
        std::fprintf(stderr, "iconpng: cannot read '%s': %s\n", argv[1], qPrintable(reader.errorString()));
        return 1;
    }
    if (best.width() != size)
        best = best.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (!best.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "iconpng: cannot write '%s'\n", argv[3]);
        return 1;
    }
    return 0;
}
