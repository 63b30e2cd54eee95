// Writes the application tree of the zav-pkg benchmark:
//   zav-pkg-bench-tree DIR [FILES] [MIB]
// DIR/org.example.Bench.desktop, DIR/bin/bench, DIR/icon.svg and FILES data files (default
// 20000) of MIB MiB in all (default 500), a hundred to a folder. Sizes vary from 1 KiB to
// twice the mean; every other file is random bytes, the rest text. The same arguments give
// the same tree.

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

bool writeFile(const std::string &path, const std::string &data, mode_t mode = 0644)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    if (std::fclose(file) != 0 || !ok)
        return false;
    return chmod(path.c_str(), mode) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [FILES] [MIB]\n", argv[0]);
        return 2;
    }
    const std::string root = argv[1];
    const long files = argc > 2 ? std::atol(argv[2]) : 20000;
    const long mib = argc > 3 ? std::atol(argv[3]) : 500;
    if (files < 1 || mib < 1)
        return 2;
    const uint64_t mean = static_cast<uint64_t>(mib) * 1024 * 1024 / static_cast<uint64_t>(files);
    const uint64_t smallest = std::min<uint64_t>(1024, mean);

    mkdir(root.c_str(), 0755);
    mkdir((root + "/bin").c_str(), 0755);
    bool ok = writeFile(root + "/org.example.Bench.desktop",
                        "[Desktop Entry]\nType=Application\nName=Bench\nExec=bin/bench %U\n"
                        "Icon=icon\nX-Package-Version=1.0\n") &&
              writeFile(root + "/bin/bench", "#!/bin/sh\necho bench\n", 0755) &&
              writeFile(root + "/icon.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>\n");

    std::mt19937_64 random(20000);
    std::uniform_int_distribution<uint64_t> size(smallest, 2 * mean - smallest);
    std::string data;
    for (long i = 0; ok && i < files; ++i) {
        const std::string folder = root + "/data/" + std::to_string(i / 100);
        if (i % 100 == 0) {
            mkdir((root + "/data").c_str(), 0755);
            mkdir(folder.c_str(), 0755);
        }
        const uint64_t length = size(random);
        data.clear();
        if (i % 2 == 0) {
            data.resize(length);
            for (uint64_t j = 0; j < length; j += 8) {
                const uint64_t word = random();
                for (uint64_t k = 0; k < 8 && j + k < length; ++k)
                    data[j + k] = static_cast<char>(word >> (8 * k));
            }
        } else {
            while (data.size() < length)
                data += "record " + std::to_string(random() % 1000000) +
                        " of the benchmark package, field " + std::to_string(i) + "\n";
            data.resize(length);
        }
        ok = writeFile(folder + "/file-" + std::to_string(i) + (i % 2 ? ".txt" : ".bin"), data);
    }
    if (!ok) {
        std::perror(root.c_str());
        return 1;
    }
    return 0;
}
