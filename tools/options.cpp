#include "tools/options.h"

#include <algorithm>

#include "tools/tool_error.h"

namespace tool {
namespace {

template <typename Match>
const OptionDefinition* FindDefinition(const std::vector<OptionDefinition>& definitions,
                                       Match match) {
  auto it = std::find_if(definitions.begin(), definitions.end(), match);
  return it == definitions.end() ? nullptr : &*it;
}

const OptionDefinition* FindLong(const std::vector<OptionDefinition>& definitions,
                                 const std::string& name) {
  return FindDefinition(definitions, [&name](const OptionDefinition& definition) {
    return definition.long_name == name;
  });
}

const OptionDefinition* FindShort(const std::vector<OptionDefinition>& definitions, char name) {
  return FindDefinition(definitions, [name](const OptionDefinition& definition) {
    return definition.short_name != 0 && definition.short_name == name;
  });
}

class Parser {
 public:
  Parser(const std::vector<std::string>& args, const std::vector<OptionDefinition>& definitions)
      : args_(args), definitions_(definitions) {}

  ParsedCommandLine Run() {
    bool options_ended = false;
    for (next_ = 0; next_ < args_.size();) {
      const std::string& arg = args_[next_++];
      if (options_ended || arg.size() < 2 || arg[0] != '-') {
        result_.operands.push_back(arg);
      } else if (arg == "--") {
        options_ended = true;
      } else if (arg[1] == '-') {
        TakeLong(arg);
      } else {
        TakeShort(arg);
      }
    }
    return result_;
  }

 private:
  void TakeLong(const std::string& arg) {
    size_t equals = arg.find('=');
    std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const OptionDefinition* definition = FindLong(definitions_, name);
    if (definition == nullptr) throw UsageError("unknown option '--" + name + "'");
    if (equals == std::string::npos) {
      Take(*definition, "--" + name, nullptr);
    } else {
      std::string value = arg.substr(equals + 1);
      Take(*definition, "--" + name, &value);
    }
  }

  // "-d DIR" and "-dDIR"; one letter per word.
  void TakeShort(const std::string& arg) {
    const OptionDefinition* definition = FindShort(definitions_, arg[1]);
    std::string shown = arg.substr(0, 2);
    if (definition == nullptr) throw UsageError("unknown option '" + shown + "'");
    if (arg.size() == 2) {
      Take(*definition, shown, nullptr);
    } else if (definition->takes_value) {
      std::string value = arg.substr(2);
      Take(*definition, shown, &value);
    } else {
      throw UsageError("option '" + shown + "' takes no value (in '" + arg + "')");
    }
  }

  void Take(const OptionDefinition& definition, const std::string& shown,
            const std::string* attached) {
    if (definition.repeatable) {
      result_.repeated[definition.long_name].push_back(TakeValue(shown, attached));
      return;
    }
    bool seen = result_.values.count(definition.long_name) != 0 ||
                std::find(result_.flags.begin(), result_.flags.end(), definition.long_name) !=
                    result_.flags.end();
    if (seen) throw UsageError("option '" + shown + "' given more than once");
    if (!definition.takes_value) {
      if (attached != nullptr) throw UsageError("option '" + shown + "' takes no value");
      result_.flags.push_back(definition.long_name);
      return;
    }
    result_.values[definition.long_name] = TakeValue(shown, attached);
  }

  std::string TakeValue(const std::string& shown, const std::string* attached) {
    if (attached != nullptr) return *attached;
    if (next_ >= args_.size()) throw UsageError("option '" + shown + "' needs a value");
    return args_[next_++];
  }

  const std::vector<std::string>& args_;
  const std::vector<OptionDefinition>& definitions_;
  size_t next_ = 0;
  ParsedCommandLine result_;
};

}  // namespace

bool ParsedCommandLine::Has(const std::string& long_name) const {
  return values.count(long_name) != 0 || repeated.count(long_name) != 0 ||
         std::find(flags.begin(), flags.end(), long_name) != flags.end();
}

std::string ParsedCommandLine::Value(const std::string& long_name,
                                     const std::string& fallback) const {
  auto it = values.find(long_name);
  return it == values.end() ? fallback : it->second;
}

std::vector<std::string> ParsedCommandLine::Values(const std::string& long_name) const {
  auto it = repeated.find(long_name);
  return it == repeated.end() ? std::vector<std::string>() : it->second;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args,
                                   const std::vector<OptionDefinition>& definitions) {
  return Parser(args, definitions).Run();
}

}  // namespace tool
