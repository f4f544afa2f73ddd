// Helpers of the show-data tests: running a generator into a scratch
// folder and reading the files back.
#pragma once

#include <string>
#include <vector>

#include "d3dx9/d3dx9_image.h"

namespace showdata {

// A fresh folder under /tmp, removed with the object.
class Scratch {
public:
    Scratch();
    ~Scratch();
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Runs tools/<program> with `folder` as its run folder; true when it
// exits with 0.
bool RunGenerator(const std::string& program, const std::string& folder);

std::string ReadFile(const std::string& path);
// Files below `folder`, relative to it, sorted.
std::vector<std::string> ListFiles(const std::string& folder);
// The show's run folder as the build made it.
std::string RunData(const std::string& relative);

// Decodes a picture of the run folder.
bool DecodeRunPicture(const std::string& relative, d3dx::DecodedFile& out);

} // namespace showdata
