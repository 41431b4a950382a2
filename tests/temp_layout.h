// A scratch copy of the folders the program reads, with the working directory set inside
// it for the life of the object: resources are read from ../res/ relative to it.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

class TempLayout {
public:
    explicit TempLayout(const std::string& tag)
        : root_(std::filesystem::temp_directory_path() /
                ("tinklewood-" + tag + "-" + std::to_string(::getpid()))),
          previous_(std::filesystem::current_path()) {
        std::filesystem::remove_all(root_);
        for (const char* dir : {"work", "res/textures", "res/backgrounds", "res/songs", "res/sounds"})
            std::filesystem::create_directories(root_ / dir);
        std::filesystem::current_path(root_ / "work");
    }
    ~TempLayout() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(root_);
    }
    std::filesystem::path res(const std::string& relative) const { return root_ / "res" / relative; }
    void write(const std::string& relative, const std::string& text) const {
        std::ofstream(res(relative), std::ios::binary) << text;
    }

private:
    std::filesystem::path root_;
    std::filesystem::path previous_;
};
