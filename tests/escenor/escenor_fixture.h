// A sequencer under test: fake effects, a scripted clock and a scratch
// working folder that sees the show's data.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "escenor.h"
#include "scratch_folder.h"

// Everything the fake effects did, in order: "<id>:init", "<id>:start",
// "<id>:render <t> <delta>", "<id>:delete".
extern std::vector<std::string> g_events;

class FakeEffect : public Effect {
public:
    explicit FakeEffect(const char* id);
    ~FakeEffect() override;
    int Init() override;
    int Start() override;
    int Render(float t) override;
    std::string m_id;
    std::vector<float> m_renders; // the t of every render
};

class EscenorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds a sequencer whose schedule `build` makes; Init runs at
    // application time 0, so sequence time is application time.
    void Make(std::function<void(Escenor&)> build, bool init = true);
    // One frame at sequence time `t` (seconds); its result.
    bool Frame(double t);
    // The events since the last call.
    std::vector<std::string> Take();
    std::string ReadLog();

    Escenor* m_escenor = nullptr;
    ScratchFolder m_folder{"escenor_test"};
    std::string m_dir;
};
