#include "expr/evaluator.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "expr/builtins.h"

namespace kest {

enum class Program::Op : std::uint8_t {
  kNumber,  // push number
  kLoad,    // push variable a; not found: failure b, or the constant in number
  kStore,   // pop into variable a; b: write the assignment trace
  kNegate,
  kAdd,
  kSubtract,
  kMultiply,
  kDivide,
  kModulo,
  kPower,  // b: report site of a domain or range error
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
  kEqual,
  kNotEqual,
  kAnd,
  kOr,
  kSelect,       // condition, a, b -> a or b
  kCall,         // function a of the table; b: report site of a domain or range error
  kTrace,        // "<level> returns %g" of the top value; a: the level
  kVerbose,      // the marker: verbose = a
  kNumberRange,  // an out-of-range number literal; a: report site
  kFail,         // failure a ends the run
};

namespace {

using Op = Program::Op;

constexpr std::uint32_t kConstantFallback = std::numeric_limits<std::uint32_t>::max();

enum Level : std::uint32_t {
  kTermLevel,
  kPlusMinusLevel,
  kRelationalsLevel,
  kRelationalsEqLevel,
  kLogicalAndLevel,
  kLogicalOrLevel,
  kTernaryLevel,
  kEvalFuncLevel,
};

constexpr const char* kTraceFormats[] = {
    "term returns %g\n",           "plus_minus returns %g\n",  "relationals returns %g\n",
    "relationals_eq returns %g\n", "logical_and returns %g\n", "logical_or returns %g\n",
    "ternary returns %g\n",        "eval_func returns %g\n",
};

/// Unwinds the translation once the failure that ends the text is recorded.
struct TranslationStop {};

/// A non-zero absolute value; NaN is false.
inline bool truth(double x) {
  return std::fabs(x) > 0;
}

}  // namespace

/// Parses a text once and records what running it does (see the header).
class ProgramTranslator final : public LexRecorder {
 public:
  explicit ProgramTranslator(Program& out) : out_(out), debug_(settings().debug) {}

  void translate() {
    lex_.program = out_.text_.c_str();
    lex_.pc = lex_.program;
    lex_.recorder = this;
    try {
      evaluate_program();
    } catch (const TranslationStop&) {
    }
    out_.stack_.assign(static_cast<std::size_t>(max_depth_) + 1, 0.0);
  }

  void verbose_marker(std::int32_t value) override {
    emit(Op::kVerbose, static_cast<std::uint32_t>(value));
  }
  void range_report(const RangeReport& report) override {
    emit(Op::kNumberRange, add_site(report.site));
  }
  [[noreturn]] void failure(Failure failure) override {
    out_.failures_.push_back(std::move(failure));
    emit(Op::kFail, static_cast<std::uint32_t>(out_.failures_.size() - 1));
    throw TranslationStop{};
  }

 private:
  // The descent recurses once per nesting level, so everything bulky (strings,
  // report sites, vector growth) stays out of line and the level frames stay small.
  [[gnu::noinline]] void emit(Op op, std::uint32_t a = 0, std::uint32_t b = 0, double number = 0) {
    out_.code_.push_back(Program::Instruction{op, a, b, number});
    // The two-operand operations lie together, from kAdd to kOr.
    if (op >= Op::kAdd && op <= Op::kOr) {
      --depth_;
    } else if (op == Op::kNumber || op == Op::kLoad) {
      ++depth_;
    } else if (op == Op::kStore) {
      --depth_;
    } else if (op == Op::kSelect) {
      depth_ -= 2;
    } else if (op == Op::kCall) {
      depth_ += 1 - static_cast<int>(function_table()[a].arity);
    }
    max_depth_ = std::max(max_depth_, depth_);
  }

  std::uint32_t add_site(const ReportSite& site) {
    out_.sites_.push_back(site);
    return static_cast<std::uint32_t>(out_.sites_.size() - 1);
  }

  /// The site of a domain or range error of the operation just parsed: pc - 1.
  [[gnu::noinline]] std::uint32_t site_before_pc() {
    return add_site(KEST_SITE(lex_, lex_.pc - 1));
  }

  void trace(Level level) {
    if (debug_) emit(Op::kTrace, level);
  }

  [[noreturn, gnu::noinline]] void fail(const ReportSite& site, std::string message) {
    raise_failure(lex_, Failure{Failure::Kind::kReportThenError, site, std::move(message)});
  }

  /// One more level of parentheses, unary signs or function arguments.
  void nest() {
    if (nesting_ >= kMaxNesting) too_deep();
    ++nesting_;
  }

  [[noreturn, gnu::noinline]] void too_deep() {
    fail(KEST_SITE(lex_, lex_.last_sym),
         format_text("expression nested too deeply (more than %d levels)\n", kMaxNesting));
  }

  void evaluate_program() {
    getsym(lex_);
    while (lex_.sym != symbol_period) {
      if (lex_.sym == symbol_identifier) {
        SymbolId target = intern(lex_.ident);
        getsym(lex_);
        expect_symbol(lex_, symbol_assign);
        ternary();
        expect_symbol(lex_, symbol_semicolon);
        emit(Op::kStore, target, debug_ ? 1 : 0);
      } else if (lex_.sym == symbol_semicolon) {
        getsym(lex_);
      } else {
        raise_failure(lex_, Failure{Failure::Kind::kStatement, KEST_SITE(lex_, lex_.last_sym),
                                    format_text("Expected \"%s\" or \"%s\", got \"%s\"\n",
                                                symbol_display_name(symbol_identifier),
                                                symbol_display_name(symbol_semicolon),
                                                symbol_display_name(lex_.sym))});
      }
    }
    expect_symbol(lex_, symbol_period);
  }

  void ternary() {
    logical_or();
    while (lex_.sym == symbol_question) {
      getsym(lex_);
      logical_or();
      expect_symbol(lex_, symbol_colon);
      logical_or();
      emit(Op::kSelect);
    }
    trace(kTernaryLevel);
  }

  void logical_or() {
    logical_and();
    while (lex_.sym == symbol_logic_or) {
      getsym(lex_);
      logical_and();
      emit(Op::kOr);
    }
    trace(kLogicalOrLevel);
  }

  void logical_and() {
    relationals_eq();
    while (lex_.sym == symbol_logic_and) {
      getsym(lex_);
      relationals_eq();
      emit(Op::kAnd);
    }
    trace(kLogicalAndLevel);
  }

  void relationals_eq() {
    relationals();
    while (lex_.sym == symbol_equal || lex_.sym == symbol_not_equal) {
      Op op = lex_.sym == symbol_equal ? Op::kEqual : Op::kNotEqual;
      getsym(lex_);
      relationals();
      emit(op);
    }
    trace(kRelationalsEqLevel);
  }

  void relationals() {
    plus_minus();
    for (;;) {
      Op op;
      switch (lex_.sym) {
        case symbol_less:
          op = Op::kLess;
          break;
        case symbol_less_equal:
          op = Op::kLessEqual;
          break;
        case symbol_greater:
          op = Op::kGreater;
          break;
        case symbol_greater_equal:
          op = Op::kGreaterEqual;
          break;
        default:
          trace(kRelationalsLevel);
          return;
      }
      getsym(lex_);
      plus_minus();
      emit(op);
    }
  }

  void plus_minus() {
    term();
    while (lex_.sym == symbol_plus || lex_.sym == symbol_minus) {
      Op op = lex_.sym == symbol_plus ? Op::kAdd : Op::kSubtract;
      getsym(lex_);
      term();
      emit(op);
    }
    trace(kPlusMinusLevel);
  }

  void term() {
    factor();
    while (lex_.sym == symbol_raised_to) {
      getsym(lex_);
      factor();
      emit(Op::kPower, 0, site_before_pc());
    }
    for (;;) {
      Op op;
      switch (lex_.sym) {
        case symbol_times:
          op = Op::kMultiply;
          break;
        case symbol_slash:
          op = Op::kDivide;
          break;
        case symbol_mod:
          op = Op::kModulo;
          break;
        default:
          trace(kTermLevel);
          return;
      }
      getsym(lex_);
      factor();
      emit(op);
    }
  }

  void factor() {
    switch (lex_.sym) {
      case symbol_number:
        emit(Op::kNumber, 0, 0, lex_.number);
        getsym(lex_);
        return;
      case symbol_identifier:
        load_name();
        return;
      case symbol_lparen:
        nest();
        getsym(lex_);
        ternary();
        expect_symbol(lex_, symbol_rparen);
        --nesting_;
        return;
      case symbol_plus:
      case symbol_minus: {
        bool negate = lex_.sym == symbol_minus;
        nest();
        getsym(lex_);
        ternary();
        if (negate) emit(Op::kNegate);
        --nesting_;
        return;
      }
      case symbol_function:
        eval_func();
        return;
      default:
        no_factor();
    }
  }

  /// A name read as a value: the variable lists, then the constants, else the
  /// error at the start of the name.
  [[gnu::noinline]] void load_name() {
    SymbolId id = intern(lex_.ident);
    std::string name = lex_.ident;
    getsym(lex_);
    if (std::optional<double> constant = find_constant(name)) {
      emit(Op::kLoad, id, kConstantFallback, *constant);
      return;
    }
    out_.failures_.push_back(
        Failure{Failure::Kind::kReportThenError, KEST_SITE(lex_, lex_.last_last_sym),
                format_text("variable/constant (%s) not found\n", name.c_str())});
    emit(Op::kLoad, id, static_cast<std::uint32_t>(out_.failures_.size() - 1));
  }

  [[noreturn, gnu::noinline]] void no_factor() {
    const char* at = lex_.pc > lex_.program ? lex_.pc - 1 : lex_.program;
    fail(KEST_SITE(lex_, at), format_text("factor: space-indent on; syntax error (%s)\n", at));
  }

  /// The function symbol's table entry; the symbol after it is scanned.
  [[gnu::noinline]] const FunctionEntry* function_entry() {
    std::string name = lex_.ident;
    getsym(lex_);
    const FunctionEntry* entry = find_function(name);
    if (entry == nullptr) {
      fail(KEST_SITE(lex_, lex_.last_last_sym),
           format_text("unknown function (%s())\n", name.c_str()));
    }
    return entry;
  }

  void eval_func() {
    nest();
    const FunctionEntry* entry = function_entry();
    switch (entry->arity) {
      case 0:
        expect_symbol(lex_, symbol_rparen);
        break;
      case 1:
        ternary();
        expect_symbol(lex_, symbol_rparen);
        break;
      case 2:
        ternary();
        expect_symbol(lex_, symbol_comma);
        ternary();
        expect_symbol(lex_, symbol_rparen);
        break;
      default:
        wrong_arity();
    }
    emit(Op::kCall, static_cast<std::uint32_t>(entry - function_table().data()), site_before_pc());
    trace(kEvalFuncLevel);
    --nesting_;
  }

  [[noreturn, gnu::noinline]] void wrong_arity() {
    raise_failure(lex_, Failure{Failure::Kind::kErrorOnly, KEST_SITE(lex_, lex_.pc),
                                "wrong numer of arguments\n"});
  }

  Program& out_;
  Lexer lex_;
  bool debug_;
  int nesting_ = 0;
  int depth_ = 0;
  int max_depth_ = 0;
};

Program::Program(std::string text) : text_(std::move(text)) {
  ProgramTranslator(*this).translate();
}

void Program::run(Lexer& lex) {
  const char* text = text_.c_str();
  lex.program = text;
  lex.pc = lex.last_sym = lex.last_last_sym = text;
  VariableList& assigned = assigned_variables();
  VariableList& inputs = row_inputs();
  double* sp = stack_.data();  // the next free place
  for (const Instruction& in : code_) {
    switch (in.op) {
      case Op::kNumber:
        *sp++ = in.number;
        break;
      case Op::kLoad: {
        const double* value = assigned.find(in.a);
        if (value == nullptr) value = inputs.find(in.a);
        if (value != nullptr) {
          *sp++ = *value;
        } else if (in.b == kConstantFallback) {
          *sp++ = in.number;
        } else {
          perform_failure(lex, failures_[in.b]);
        }
        break;
      }
      case Op::kStore: {
        double value = *--sp;
        if (double* target = assigned.find(in.a)) {
          *target = value;
        } else {
          assigned.push_front(in.a, value);
        }
        if (in.b != 0) std::fprintf(stderr, "%s = %g\n", symbol(in.a).name.c_str(), value);
        break;
      }
      case Op::kNegate:
        sp[-1] = -sp[-1];
        break;
      case Op::kAdd:
        --sp;
        sp[-1] += *sp;
        break;
      case Op::kSubtract:
        --sp;
        sp[-1] -= *sp;
        break;
      case Op::kMultiply:
        --sp;
        sp[-1] *= *sp;
        break;
      case Op::kDivide:
        --sp;
        sp[-1] /= *sp;
        break;
      case Op::kModulo:
        --sp;
        sp[-1] = std::fmod(sp[-1], *sp);
        break;
      case Op::kPower: {
        --sp;
        errno = 0;
        sp[-1] = std::pow(sp[-1], *sp);
        if (int error = errno; error != 0) {
          perform_range_report(lex, RangeReport{"term", error, sites_[in.b]});
        }
        break;
      }
      case Op::kLess:
        --sp;
        sp[-1] = sp[-1] < *sp ? 1 : 0;
        break;
      case Op::kLessEqual:
        --sp;
        sp[-1] = sp[-1] <= *sp ? 1 : 0;
        break;
      case Op::kGreater:
        --sp;
        sp[-1] = sp[-1] > *sp ? 1 : 0;
        break;
      case Op::kGreaterEqual:
        --sp;
        sp[-1] = sp[-1] >= *sp ? 1 : 0;
        break;
      // Equality looks at the difference, so infinity == infinity is 0 (NaN).
      case Op::kEqual:
        --sp;
        sp[-1] = sp[-1] - *sp == 0 ? 1 : 0;
        break;
      case Op::kNotEqual:
        --sp;
        sp[-1] = sp[-1] - *sp != 0 ? 1 : 0;
        break;
      case Op::kAnd:
        --sp;
        sp[-1] = truth(sp[-1]) && truth(*sp) ? 1 : 0;
        break;
      case Op::kOr:
        --sp;
        sp[-1] = truth(sp[-1]) || truth(*sp) ? 1 : 0;
        break;
      case Op::kSelect:
        sp -= 2;
        sp[-1] = truth(sp[-1]) ? sp[0] : sp[1];
        break;
      case Op::kCall: {
        const FunctionEntry& entry = function_table()[in.a];
        double x = 0;
        double y = 0;
        if (entry.arity == 2) y = *--sp;
        if (entry.arity >= 1) x = *--sp;
        errno = 0;
        *sp++ = entry.function(x, y);
        if (int error = errno; error != 0) {
          perform_range_report(lex, RangeReport{"eval_func", error, sites_[in.b]});
        }
        break;
      }
      case Op::kTrace:
        std::fprintf(stderr, kTraceFormats[in.a], sp[-1]);
        break;
      case Op::kVerbose:
        lex.verbose = static_cast<std::int32_t>(in.a);
        break;
      case Op::kNumberRange:
        perform_range_report(lex, RangeReport{"getsym", ERANGE, sites_[in.a]});
        break;
      case Op::kFail:
        perform_failure(lex, failures_[in.a]);
    }
  }
  lex.pc = text + text_.size();
  lex.sym = symbol_period;
}

void evaluate_program(Lexer& lex, const char* text) {
  Program program(text);
  program.run(lex);
}

}  // namespace kest
