// The published JSON Schemas of the strategy document, held to the readers'
// own tables: every record's members (names, order, which are required, the
// schema of each one's type, and an optional one's default, read back through
// the member's own reader and compared with the member of a default-constructed
// record), the positional form in the exact flavour, and every choice's
// variants in order. A wrong type or default planted in a schema is caught.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/schema/scalars.h"
#include "core/strategy/tables.h"
#include "core/strategy/variants.h"
#include "read_file.h"
#include "tests/support/json_reference.h"

namespace lantor::strategy::testing {
namespace {

using json::Value;
using Names = std::vector<std::string>;
using Members = std::vector<schema::MemberInfo>;

// The members of a record of the readers' listing.
const Members& members_of(std::string_view record) {
  for (const schema::TypeInfo& t : types())
    if (t.name == record) return t.members;
  ADD_FAILURE() << record << " is not listed";
  static const Members none;
  return none;
}

const Value kMissing;

const Value& at(const Value& v, std::string_view name) {
  const Value* found = v.is_object() ? v.as_object().find(name) : nullptr;
  return found ? *found : kMissing;
}

const Value& at(const Value& v, std::size_t i) {
  return v.is_array() && i < v.as_array().size() ? v.as_array()[i] : kMissing;
}

std::string text(const Value& v) { return v.is_string() ? v.as_string() : "<not a string>"; }

// The member names of an object, none for anything else.
Names keys(const Value& v) {
  Names out;
  if (v.is_object())
    for (const json::Member& m : v.as_object()) out.push_back(m.name);
  return out;
}

// The texts of an array, none for anything else.
Names texts(const Value& v) {
  Names out;
  if (v.is_array())
    for (const Value& e : v.as_array()) out.push_back(text(e));
  return out;
}

std::size_t count(const Value& v) { return v.is_number() ? v.as_uint() : ~std::size_t{0}; }

std::string joined(const Names& names) {
  std::string out;
  for (const std::string& n : names) out += n + " ";
  return out;
}

Value object_of(std::vector<std::pair<std::string, Value>> members) {
  json::Object out;
  for (auto& [name, value] : members) out.set(std::move(name), std::move(value));
  return Value::object(std::move(out));
}

// The JSON Schema of a member of type `type` (listing.h's notation), as the
// published schemas write it.
Value schema_of(std::string_view type) {
  if (type.ends_with('?')) {
    Value inner = schema_of(type.substr(0, type.size() - 1));
    Value* scalar = inner.as_object().find("type");
    if (scalar == nullptr)
      return object_of({{"anyOf", Value::array({inner, object_of({{"type", Value::string("null")}})})}});
    *scalar = Value::array({*scalar, Value::string("null")});
    return inner;
  }
  const std::string_view inner = type.substr(1, type.size() - 2);
  if (type.starts_with('['))
    return object_of({{"type", Value::string("array")}, {"items", schema_of(inner)}});
  if (type.starts_with('{'))
    return object_of({{"type", Value::string("object")}, {"additionalProperties", schema_of(inner)}});
  for (const schema::ScalarType& s : schema::kScalarTypes) {
    if (s.name != type) continue;
    if (s.json_type != "integer") return object_of({{"type", Value::string(std::string(s.json_type))}});
    return object_of({{"type", Value::string("integer")},
                      {"minimum", Value::uint(0)},
                      {"maximum", Value::uint(s.maximum)}});
  }
  return object_of({{"$ref", Value::string("#/$defs/" + std::string(type))}});
}

// Compares one published schema with the tables, collecting the differences.
class Comparison {
 public:
  Comparison(const Value& schema, bool exact) : schema_(schema), exact_(exact) {}

  Names differences() {
    members("StrategySpec", schema_, members_of("StrategySpec"), 0);
    members("IndicatorSpec", def("IndicatorSpec"), members_of("IndicatorSpec"), 0);
    members("Costs", def("Costs"), members_of("Costs"), 0);
    members("Risk", def("Risk"), members_of("Risk"), 0);
    members("Execution", def("Execution"), members_of("Execution"), 0);
    defaults("StrategySpec", schema_, kStrategySpec);
    defaults("IndicatorSpec", def("IndicatorSpec"), kIndicatorSpec);
    defaults("Costs", def("Costs"), kCosts);
    defaults("Risk", def("Risk"), kRisk);
    defaults("Execution", def("Execution"), kExecution);

    tagged("Sizing", variants::kSizing);
    tagged("Slippage", variants::kSlippage);
    externally_tagged("Feed", variants::kFeed);
    externally_tagged("PriceSource", variants::kPriceSource);
    externally_tagged("Expr", variants::kExpr);
    externally_tagged("Condition", variants::kCondition);
    externally_tagged("BarsCmp", variants::kBarsCmp);
    externally_tagged("OrderType", variants::kOrderType);
    externally_tagged("FillTiming", variants::kFillTiming);

    // Every named type was compared, but the operand, whose alternatives are
    // JSON kinds rather than names.
    std::set<std::string> defined;
    for (const std::string& name : keys(at(schema_, "$defs"))) defined.insert(name);
    checked_.insert("Operand");
    if (defined != checked_) found_.push_back("$defs: " + joined(Names(defined.begin(), defined.end())));
    return found_;
  }

 private:
  const Value& def(std::string_view name) {
    checked_.insert(std::string(name));
    return at(at(schema_, "$defs"), name);
  }

  void differ(std::string_view where, const std::string& what) {
    found_.push_back(std::string(where) + ": " + what);
  }

  // Members of a record or of a tagged variant, after `lead` (the tag): their
  // names and order, which are required, their types, and the array form.
  void members(std::string_view where, const Value& record, const Members& members, std::size_t lead) {
    Names names = keys(at(record, "properties")), required = texts(at(record, "required"));
    Names expected_names, expected_required;
    std::erase(names, "$schema");
    names.erase(names.begin(), names.begin() + std::min(lead, names.size()));
    required.erase(required.begin(), required.begin() + std::min(lead, required.size()));
    std::size_t min_items = lead;
    for (std::size_t i = 0; i < members.size(); ++i) {
      expected_names.emplace_back(members[i].name);
      member_type(where, at(at(record, "properties"), members[i].name), members[i]);
      if (!members[i].required) continue;
      expected_required.emplace_back(members[i].name);
      min_items = lead + i + 1;
    }
    if (names != expected_names) differ(where, "members " + joined(names));
    if (required != expected_required) differ(where, "required " + joined(required));
    if (!exact_) {
      if (at(record, "additionalProperties") != Value::boolean(false)) differ(where, "takes other members");
      return;
    }
    Names positional;
    const Value& items = at(record, "prefixItems");
    for (std::size_t i = lead; at(items, i).is_object(); ++i) {
      const std::string ref = text(at(at(items, i), "$ref"));
      positional.push_back(ref.substr(ref.rfind('/') + 1));
    }
    if (positional != expected_names) differ(where, "array form " + joined(positional));
    if (count(at(record, "minItems")) != min_items || count(at(record, "maxItems")) != lead + members.size())
      differ(where, "array form's length");
  }

  // The member's schema without its words and default is its type's.
  void member_type(std::string_view where, const Value& property, const schema::MemberInfo& m) {
    json::Object only_type;
    if (property.is_object())
      for (const json::Member& p : property.as_object())
        if (p.name != "title" && p.name != "description" && p.name != "default")
          only_type.set(p.name, p.value);
    const std::string found = canonical_json(Value::object(std::move(only_type)));
    if (found != canonical_json(schema_of(m.type))) differ(where, std::string(m.name) + " is typed " + found);
  }

  // Each optional member's published default, read with the member's own
  // reader, is the member of a default-constructed record.
  template <class T>
  void defaults(std::string_view where, const Value& record, const RecordTable<T>& table) {
    for (const Field<T>& f : table.fields) {
      if (f.required) continue;
      const Value& property = at(at(record, "properties"), f.name);
      const Value* published = property.is_object() ? property.as_object().find("default") : nullptr;
      if (published == nullptr) {
        differ(where, std::string(f.name) + " has no default");
        continue;
      }
      const json::Tape tape = json::tape_from_value(*published);
      T read{};
      json::Writer as_read, as_default;
      if (!f.read(tape.root(), read).ok() || !f.write(read, as_read) || !f.write(T{}, as_default) ||
          as_read.text() != as_default.text())
        differ(where, std::string(f.name) + " defaults to " + canonical_json(*published));
    }
  }

  // The variants of an internally tagged choice and their fields, in order:
  // branches of an anyOf in the exact flavour, and in the strict one a tag
  // that takes the variants' names and a then for each.
  void tagged(std::string_view choice, std::span<const schema::Variant> expected) {
    const Value& d = def(choice);
    const Value& branches = at(d, exact_ ? "anyOf" : "allOf");
    if (!exact_) {
      Names named = texts(at(at(at(d, "properties"), "type"), "enum"));
      Names want;
      for (const schema::Variant& v : expected) want.emplace_back(v.name);
      if (named != want) differ(choice, "tag takes " + joined(named));
    }
    if (!branches.is_array() || branches.as_array().size() != expected.size()) {
      differ(choice, "not one branch per variant");
      return;
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const Value& b = exact_ ? branches.as_array()[i] : at(branches.as_array()[i], "then");
      const std::string where = std::string(choice) + "::" + std::string(expected[i].name);
      if (text(at(at(at(b, "properties"), "type"), "const")) != expected[i].name) differ(where, "tag");
      if (!exact_ && text(at(at(at(at(branches.as_array()[i], "if"), "properties"), "type"), "const")) !=
                         expected[i].name)
        differ(where, "if");
      members(where, b, expected[i].data.empty() ? Members() : members_of(expected[i].data), 1);
    }
  }

  // The variants of an externally tagged choice, in order: one-member objects
  // (a member each, in one object or one required member per branch), and
  // bare names (`const`) for variants without data.
  void externally_tagged(std::string_view choice, std::span<const schema::Variant> expected) {
    Names want;
    for (const schema::Variant& v : expected) want.emplace_back(v.name);
    Names consts, members = keys(at(def(choice), "properties"));
    const Value& branches = at(def(choice), "anyOf");
    for (std::size_t i = 0; at(branches, i).is_object(); ++i) {
      const Value& b = at(branches, i);
      if (at(b, "const").is_string()) consts.push_back(text(at(b, "const")));
      const Names required = texts(at(b, "required"));
      const Names named = required.empty() ? keys(at(b, "properties")) : required;
      members.insert(members.end(), named.begin(), named.end());
    }
    if (members != want) differ(choice, "variants " + joined(members));
    if (!consts.empty() && consts != want)
      differ(choice, "names " + joined(consts));  // variants without data
  }

  const Value& schema_;
  bool exact_;
  std::set<std::string> checked_;
  Names found_;
};

constexpr const char* kExact = "strategy.schema.json";
constexpr const char* kStrict = "strategy.strict.schema.json";

Value published(std::string_view file) {
  auto parsed = json::parse_json(lantor::testing::read_file(std::string(LANTOR_SOURCE_DIR) +
                                                            "/python/lantor_compile/" + std::string(file)));
  EXPECT_TRUE(parsed.ok()) << parsed.error();
  return parsed.ok() ? std::move(*parsed) : Value();
}

class PublishedSchema : public ::testing::TestWithParam<const char*> {};

TEST_P(PublishedSchema, MatchesTheReadersTables) {
  const Value schema = published(GetParam());
  EXPECT_EQ(Comparison(schema, GetParam() == std::string_view(kExact)).differences(), Names());
}

INSTANTIATE_TEST_SUITE_P(Flavours, PublishedSchema, ::testing::Values(kExact, kStrict));

// A wrong default or type in a schema: the value at a JSON Pointer replaced.
struct Planted {
  const char* file;
  const char* pointer;
  const char* value;
  const char* difference;
};

class PlantedFault : public ::testing::TestWithParam<Planted> {};

TEST_P(PlantedFault, IsFound) {
  const Planted& p = GetParam();
  Value schema = published(p.file);
  Value* target = &schema;
  std::string_view rest = p.pointer;
  while (!rest.empty() && target != nullptr) {
    rest.remove_prefix(1);
    const std::string_view step = rest.substr(0, rest.find('/'));
    rest.remove_prefix(step.size());
    target = target->is_array() ? &target->as_array()[std::stoul(std::string(step))]
                                : target->as_object().find(step);
  }
  ASSERT_NE(target, nullptr) << p.pointer;
  *target = *json::parse_json(p.value);
  const Names found = Comparison(schema, p.file == std::string_view(kExact)).differences();
  EXPECT_NE(joined(found).find(p.difference), std::string::npos) << joined(found);
}

INSTANTIATE_TEST_SUITE_P(
    Schemas, PlantedFault,
    ::testing::Values(
        Planted{kExact, "/properties/spec_version/default", "2", "StrategySpec: spec_version defaults to 2"},
        Planted{kStrict, "/$defs/Costs/properties/slippage/default", R"({"type":"spread"})",
                "Costs: slippage defaults to"},
        Planted{kExact, "/$defs/Risk/properties/liquidation/default", "true", "Risk: liquidation defaults"},
        Planted{kExact, "/$defs/Execution/properties/order_type/default", R"("limit")",
                "order_type defaults"},
        Planted{kStrict, "/$defs/Execution/properties/latency_bars/type", R"("number")",
                "latency_bars is typed"},
        Planted{kExact, "/properties/warmup/type", R"("integer")", "StrategySpec: warmup is typed"},
        Planted{kExact, "/$defs/IndicatorSpec/properties/params/items", R"({"type":"integer"})",
                "params is typed"},
        Planted{kStrict, "/$defs/Sizing/allOf/3/then/properties/lookback/maximum", "65535",
                "Sizing::vol_target: lookback is typed"}));

}  // namespace
}  // namespace lantor::strategy::testing
