// Recursive-descent parser. Nesting of expressions and blocks is counted and
// limited, so hostile input gets a syntax error instead of exhausting the
// C++ stack.
#pragma once

#include <string_view>

#include "scripting/vbscript/Ast.h"
#include "scripting/vbscript/Lexer.h"

namespace tarvelo::vbs {

// Throws SyntaxError.
Chunk ParseProgram(std::string_view source, int firstLine = 1);
ExprPtr ParseExpression(std::string_view source);

// Deepest nesting accepted: blocks, parentheses, unary operators and the
// length of an operator chain all count, as each adds a level to the tree.
constexpr int kMaxNesting = 1000;

}  // namespace tarvelo::vbs
