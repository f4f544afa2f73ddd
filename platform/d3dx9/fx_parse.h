// The effect text as plain structures: parameters (types, semantics,
// annotations, initial values, sampler states), techniques and passes with
// their state assignments, and the HLSL that is left for the shader compiler.
// A pure function of the (preprocessed) text; no device, no compiler.
#pragma once

#include "fx_preprocess.h"

#include <string>
#include <vector>

namespace fx {

// In the order of D3DXPARAMETER_TYPE.
enum class Base {
    Void, Bool, Int, Float, String, Texture, Texture1D, Texture2D, Texture3D, TextureCube,
    Sampler, Sampler1D, Sampler2D, Sampler3D, SamplerCube
};

// In the order of D3DXPARAMETER_CLASS.
enum class Class { Scalar, Vector, MatrixRows, MatrixColumns, Object };

struct Type {
    Base base = Base::Void;
    Class cls = Class::Scalar;
    unsigned rows = 1, columns = 1;
    unsigned elements = 0;  // 0: not an array

    bool Numeric() const { return base == Base::Bool || base == Base::Int || base == Base::Float; }
    bool IsTexture() const { return base >= Base::Texture && base <= Base::TextureCube; }
    bool IsSampler() const { return base >= Base::Sampler && base <= Base::SamplerCube; }
    // Values in one element (numeric types: rows x columns).
    unsigned Components() const { return Numeric() ? rows * columns : 1; }
    unsigned Count() const { return elements ? elements : 1; }
};

// A constant: numbers (numeric types, matrices row after row, arrays element
// after element) or a text (strings).
struct Value {
    std::vector<double> numbers;
    std::string text;
};

struct Annotation {
    std::string name;
    Type type;
    Value value;
};

// The right-hand side of a state assignment.
struct StateValue {
    enum Kind {
        Numbers,    // TRUE, 1, 0.5, float4(...): numbers[]
        Name,       // an identifier such as CCW or SrcAlpha: name
        Reference,  // <param> or (param): name
        Compile,    // compile profile entry(args): profile, name, args
        Null        // NULL
    } kind = Numbers;
    std::vector<double> numbers;
    std::string name;
    std::string profile;
    std::vector<std::string> args;  // each argument's literal text
};

struct State {
    std::string name;  // as written, e.g. "ZEnable", "Texture"
    int index = 0;     // Texture[1] -> 1
    StateValue value;
    int line = 0;      // line of the preprocessed text
};

struct Parameter {
    std::string name, semantic;
    Type type;
    bool rowMajor = false;
    bool shared = false;
    std::vector<Annotation> annotations;
    bool hasInitializer = false;
    Value initial;
    std::vector<State> samplerStates;  // sampler_state { ... }
    int line = 0;
};

struct Pass {
    std::string name;
    std::vector<Annotation> annotations;
    std::vector<State> states;
    int line = 0;
};

struct Technique {
    std::string name;
    std::vector<Annotation> annotations;
    std::vector<Pass> passes;
    int line = 0;
};

struct Effect {
    Preprocessed source;
    std::vector<Parameter> parameters;
    std::vector<Technique> techniques;
    std::vector<std::string> functions;
    // The preprocessed text with every parameter, texture, sampler and
    // technique blanked out (line breaks kept): the functions, structures and
    // static variables for the shader compiler.
    std::string hlsl;
};

// Parses preprocessed text. False with "file(line): error: message" lines.
// rowMajor: matrices without row_major or column_major are row-major.
bool Parse(const Preprocessed& source, Effect& out, std::string& errors, bool rowMajor = false);

// Preprocesses and parses an effect file.
bool ParseEffect(const std::string& text, const std::string& fileName, const Macros& defines,
                 const IncludeFn& include, Effect& out, std::string& errors, bool rowMajor = false);

// The type named by an HLSL type keyword ("float4x3", "int2", "texture",
// "sampler2D", "vector<float,3>" is not covered); false when it is not one.
bool TypeFromKeyword(const std::string& word, Type& type);

} // namespace fx
