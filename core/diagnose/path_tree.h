// Paths into a JSON text kept as a tree, each step stored once however many
// paths share it: the places of all of them are found in one walk over the
// text, and a path's JSON Pointer is written only when it is wanted. Many
// warnings under one long member name cost that name once, not once each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lantor::diagnose {

class PathTree {
 public:
  static constexpr std::size_t kRoot = 0;

  PathTree();

  // A step from `parent` to its member `name`, to its element `index`, or
  // to whichever of the two it has (a record written as an object or as an
  // array of its fields). Each returns a new node: two paths alike are two
  // nodes, both placed by place_all.
  std::size_t member(std::size_t parent, std::string_view name);
  std::size_t element(std::size_t parent, std::size_t index);
  std::size_t member_or_element(std::size_t parent, std::string_view name, std::size_t index);

  // Finds every node's value in `text` (read with `depth` levels open around
  // it); of a repeated name, the last occurrence counts, as it does for a
  // reader. Adds the values walked to `steps`.
  void place_all(std::string_view text, int depth, std::uint64_t& steps);

  // Where a node's value was found, if it was.
  struct Place {
    bool found = false;
    std::size_t start = 0;        // the value's first byte
    std::size_t length = 0;       // the bytes of its first token (a container's bracket)
    std::size_t name_start = 0;   // a member's name, quotes included
    std::size_t name_length = 0;  // 0 for an element
  };
  const Place& place(std::size_t node) const { return nodes_[node].place; }
  // The node's JSON Pointer.
  std::string pointer(std::size_t node) const;

 private:
  friend class TreePlacer;

  struct Node {
    std::size_t parent = kRoot;
    std::string name;
    std::size_t index = 0;
    bool by_name = false;
    bool by_index = false;
    bool found_by_name = false;
    Place place;
  };
  struct NameLess {
    using is_transparent = void;
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
      return a.first != b.first ? a.first < b.first : std::string_view(a.second) < std::string_view(b.second);
    }
  };

  std::vector<Node> nodes_;
  std::multimap<std::pair<std::size_t, std::string>, std::size_t, NameLess> by_name_;
  std::multimap<std::pair<std::size_t, std::size_t>, std::size_t> by_index_;
};

}  // namespace lantor::diagnose
