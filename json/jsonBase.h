#pragma once

#include <ostream>

namespace json {

// Type codes returned by jsonBase::Type; loaders compare against them.
enum TypeCode : int {
    TypeString = 0,
    TypeInt = 1,
    TypeDouble = 2,
    TypeBool = 3,
    TypeNull = 4,
    TypeObject = 5,
    TypeArray = 6,
};

// The two ways a value tree can be written. Both are compact (no whitespace) and
// identical except for how names and strings are quoted:
// - ProjectFile: the text exactly as held between double quotes, a double quote
//   inside doubled (""), so every project file the program has ever written
//   still reads back the same and a backslash stays an ordinary character;
// - Rfc8259: standard JSON string escapes, for answers to other programs.
enum class Syntax { ProjectFile, Rfc8259 };

// A JSON value. Values are heap objects owned by their container (or by whoever
// called Clone); deleting one through this base destroys its whole subtree.
class jsonBase {
  public:
    jsonBase() = default;
    virtual ~jsonBase() = default;

    // Appends the value's text in the project-file syntax.
    void Write(std::wostream& out) const { WriteAs(out, Syntax::ProjectFile); }
    virtual void WriteAs(std::wostream& out, Syntax syntax) const = 0;

    // A deep copy owned by the caller.
    virtual jsonBase* Clone() const = 0;
    virtual int Type() const = 0;

  protected:
    // Copies happen through Clone so that a value is never sliced.
    jsonBase(const jsonBase&) = default;
    jsonBase& operator=(const jsonBase&) = default;
};

}  // namespace json
