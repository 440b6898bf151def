// Loads one picture file and measures it once as the buttons do, as a command-line program
// would: prints the end points and slope, and how long loading and the run took. Under
// /usr/bin/time -v it gives the whole process's time and peak memory (scripts/bench does that).
//
//   build-bench/bin/slopemeter_measure picture.bmp

#include "PictureFile.h"
#include "Uprocess.h"

#include <QElapsedTimer>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PICTURE\n", argv[0]);
        return 2;
    }
    try {
        QElapsedTimer clock;
        clock.start();
        Graphics::TBitmap picture;
        picture.SetImage(LoadPictureFile(argv[1]));
        const double loadMs = clock.nsecsElapsed() / 1e6;

        clock.restart();
        Process process;
        ScanResult result;
        auto copy = std::make_unique<Graphics::TBitmap>();
        copy->Assign(&picture);
        process.Binarize(copy.get(), 50);
        process.FindSlope(copy.get(), &result);
        copy.reset();
        const ResultCaptions captions = FormatCaptions(result);
        const double runMs = clock.nsecsElapsed() / 1e6;

        std::printf("%d x %d: from the left %s, from the right %s, slope %s\n", picture.Width(), picture.Height(),
                    captions.Fr.substr(FrCaptionPrefix.size()).c_str(), captions.Re.substr(ReCaptionPrefix.size()).c_str(),
                    captions.Slope.substr(SlopeCaptionPrefix.size()).c_str());
        std::printf("load %.1f ms, run %.1f ms\n", loadMs, runMs);
    } catch (const Exception& failure) {
        std::fprintf(stderr, "%s\n", failure.Message.c_str());
        return 1;
    }
    return 0;
}
