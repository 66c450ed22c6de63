// The native module `_lantor_check`: located failures and the strategy
// checker, beside `_lantor_compile`, whose surface stays as it is, and the
// description of the document's types. Findings come as plain tuples;
// lantor_compile.diagnostics makes them Diagnostic values.
//
// Nothing here may end the interpreter: the core reports its failures as
// values, and the only exception left, a failed allocation (std::bad_alloc,
// or std::length_error for a size no container can hold), becomes
// MemoryError.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/text_position.h"
#include "core/describe/description.h"
#include "core/diagnose/diagnose.h"
#include "core/diagnose/located_values.h"

namespace {

constexpr const char kModuleDoc[] =
    "Located failures and the strategy checker (`lantor_compile._lantor_check`).";
constexpr const char kCheckDoc[] =
    "check(text)\n--\n\n"
    "The findings of a strategy document: (severity, code, message, pointer, offset, help, line,\n"
    "column, length) tuples, the column counted in characters and the length in bytes.";
constexpr const char kLocateDoc[] =
    "locate(command)\n--\n\n"
    "Where a compile command fails before its build, as one such tuple, or None.";
constexpr const char kDescribeDoc[] =
    "describe()\n--\n\n"
    "The strategy document's types and the compile request's choices, from the compiler's own tables, "
    "as JSON text.";
constexpr const char kValuesDoc[] =
    "values(text)\n--\n\n"
    "Every value of a strategy document's text in the order they begin, as (parent, kind, start, end,\n"
    "name_start, name_end, name, index, string) tuples, and the byte offset where the reader failed\n"
    "(None when the text held one whole value).";
constexpr const char kPositionsDoc[] =
    "positions(data, offsets)\n--\n\n"
    "The (line, byte column, character column, UTF-16 column) of each of `offsets`, as position\n"
    "gives them, in one pass over `data`.";
constexpr const char kPositionDoc[] =
    "position(data, offset)\n--\n\n"
    "The line and the columns in bytes, characters and UTF-16 units (all 1-based) of byte\n"
    "`offset` of the UTF-8 bytes `data`: the bytes up to the offset, and the character that\n"
    "holds it (an offset inside a character stands for its first byte).";

// Strict UTF-8: lone surrogates raise UnicodeEncodeError, as Compiler.command does.
std::optional<std::string_view> utf8_argument(PyObject* arg) {
  if (!PyUnicode_Check(arg)) {
    PyErr_Format(PyExc_TypeError, "expected str, got %.200s", Py_TYPE(arg)->tp_name);
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(arg, &size);
  if (data == nullptr) return std::nullopt;
  return std::string_view(data, static_cast<std::size_t>(size));
}

// Runs `work` with the interpreter lock released; true when it returned, false
// with MemoryError (or, for anything else the core should never throw,
// SystemError) set.
template <class Work>
bool run_unlocked(Work&& work) {
  enum class Failed { None, Memory, Other } failed = Failed::None;
  Py_BEGIN_ALLOW_THREADS try { work(); } catch (const std::bad_alloc&) {
    failed = Failed::Memory;
  } catch (const std::length_error&) {
    failed = Failed::Memory;
  } catch (...) {
    failed = Failed::Other;
  }
  Py_END_ALLOW_THREADS if (failed == Failed::Memory) {
    PyErr_NoMemory();
    return false;
  }
  if (failed == Failed::Other) {
    PyErr_SetString(PyExc_SystemError, "unexpected failure inside the checker");
    return false;
  }
  return true;
}

PyObject* finding_tuple(const lantor::diagnose::Finding& f) {
  const char* severity = f.severity == lantor::diagnose::Severity::Error ? "error" : "warning";
  const std::string_view code = lantor::diagnose::code_info(f.code).name;
  return Py_BuildValue(
      "(ss#s#s#nz#nnnz#)", severity, code.data(), static_cast<Py_ssize_t>(code.size()), f.message.data(),
      static_cast<Py_ssize_t>(f.message.size()), f.pointer.data(), static_cast<Py_ssize_t>(f.pointer.size()),
      static_cast<Py_ssize_t>(f.offset), f.help ? f.help->data() : nullptr,
      f.help ? static_cast<Py_ssize_t>(f.help->size()) : 0, static_cast<Py_ssize_t>(f.position.line),
      static_cast<Py_ssize_t>(f.position.char_column), static_cast<Py_ssize_t>(f.length),
      f.suggestion ? f.suggestion->data() : nullptr,
      f.suggestion ? static_cast<Py_ssize_t>(f.suggestion->size()) : 0);
}

// A place that may be none, as -1.
Py_ssize_t place(std::size_t offset) {
  return offset == lantor::diagnose::kNoPlace ? -1 : static_cast<Py_ssize_t>(offset);
}

PyObject* value_tuple(const lantor::diagnose::LocatedValue& v) {
  using Kind = lantor::diagnose::WalkFrame::Kind;
  const char* kind = v.kind == Kind::Object ? "object" : v.kind == Kind::Array ? "array" : "scalar";
  return Py_BuildValue("(nsnnnnz#nz#)", place(v.parent), kind, place(v.start), place(v.end),
                       place(v.name_start), place(v.name_end), v.is_member() ? v.name.data() : nullptr,
                       static_cast<Py_ssize_t>(v.name.size()), static_cast<Py_ssize_t>(v.index),
                       v.string ? v.string->data() : nullptr,
                       v.string ? static_cast<Py_ssize_t>(v.string->size()) : 0);
}

// A new list of `items` made into objects by `make`; null with the error set.
template <class T, class Make>
PyObject* list_of(const std::vector<T>& items, Make make) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(items.size()));
  if (list == nullptr) return nullptr;
  for (std::size_t i = 0; i < items.size(); ++i) {
    PyObject* item = make(items[i]);
    if (item == nullptr) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
  }
  return list;
}

PyObject* check(PyObject*, PyObject* arg) {
  const std::optional<std::string_view> text = utf8_argument(arg);
  if (!text) return nullptr;
  std::vector<lantor::diagnose::Finding> findings;
  if (!run_unlocked([&] { findings = lantor::diagnose::check_strategy(*text); })) return nullptr;
  return list_of(findings, finding_tuple);
}

PyObject* values(PyObject*, PyObject* arg) {
  const std::optional<std::string_view> text = utf8_argument(arg);
  if (!text) return nullptr;
  lantor::diagnose::LocatedValues located;
  if (!run_unlocked([&] { located = lantor::diagnose::locate_values(*text); })) return nullptr;
  PyObject* list = list_of(located.values, value_tuple);
  if (list == nullptr) return nullptr;
  if (located.failed_at == lantor::diagnose::kNoPlace) return Py_BuildValue("(NO)", list, Py_None);
  return Py_BuildValue("(Nn)", list, static_cast<Py_ssize_t>(located.failed_at));
}

PyObject* locate(PyObject*, PyObject* arg) {
  const std::optional<std::string_view> command = utf8_argument(arg);
  if (!command) return nullptr;
  std::optional<lantor::diagnose::Finding> found;
  if (!run_unlocked([&] { found = lantor::diagnose::locate_compile_failure(*command); })) return nullptr;
  if (!found) Py_RETURN_NONE;
  return finding_tuple(*found);
}

PyObject* describe(PyObject*, PyObject*) {
  bool described = false;
  std::string text;
  if (!run_unlocked([&] {
        lantor::Result<std::string> description = lantor::describe::document_description();
        described = description.ok();
        text = described ? std::move(description).value() : std::move(description).error();
      }))
    return nullptr;
  if (!described) {
    PyErr_SetString(PyExc_RuntimeError, text.c_str());
    return nullptr;
  }
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

PyObject* line_column_tuple(const lantor::LineColumn& at) {
  return Py_BuildValue("(nnnn)", static_cast<Py_ssize_t>(at.line), static_cast<Py_ssize_t>(at.byte_column),
                       static_cast<Py_ssize_t>(at.char_column), static_cast<Py_ssize_t>(at.utf16_column));
}

PyObject* position(PyObject*, PyObject* args) {
  Py_buffer data;
  Py_ssize_t offset = 0;
  if (!PyArg_ParseTuple(args, "y*n:position", &data, &offset)) return nullptr;
  const std::string_view text(static_cast<const char*>(data.buf), static_cast<std::size_t>(data.len));
  const lantor::LineColumn at =
      lantor::line_column(text, static_cast<std::size_t>(std::max<Py_ssize_t>(offset, 0)));
  PyBuffer_Release(&data);
  return line_column_tuple(at);
}

PyObject* positions(PyObject*, PyObject* args) {
  Py_buffer data;
  PyObject* offsets_arg = nullptr;
  if (!PyArg_ParseTuple(args, "y*O:positions", &data, &offsets_arg)) return nullptr;
  std::vector<std::size_t> offsets;
  PyObject* offsets_seq = PySequence_Fast(offsets_arg, "positions: offsets must be a sequence of integers");
  if (offsets_seq != nullptr) {
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(offsets_seq);
    offsets.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
      const Py_ssize_t offset = PyLong_AsSsize_t(PySequence_Fast_GET_ITEM(offsets_seq, i));
      if (offset == -1 && PyErr_Occurred() != nullptr) break;
      offsets.push_back(static_cast<std::size_t>(std::max<Py_ssize_t>(offset, 0)));
    }
    Py_DECREF(offsets_seq);
  }
  if (PyErr_Occurred() != nullptr) {
    PyBuffer_Release(&data);
    return nullptr;
  }
  const std::string_view text(static_cast<const char*>(data.buf), static_cast<std::size_t>(data.len));
  std::vector<lantor::LineColumn> found;
  const bool done = run_unlocked([&] { found = lantor::line_columns(text, offsets); });
  PyBuffer_Release(&data);
  if (!done) return nullptr;
  return list_of(found, line_column_tuple);
}

PyMethodDef kMethods[] = {
    {"check", check, METH_O, kCheckDoc},
    {"locate", locate, METH_O, kLocateDoc},
    {"describe", describe, METH_NOARGS, kDescribeDoc},
    {"position", position, METH_VARARGS, kPositionDoc},
    {"positions", positions, METH_VARARGS, kPositionsDoc},
    {"values", values, METH_O, kValuesDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot kSlots[] = {
#if PY_VERSION_HEX >= 0x030C0000
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_SUPPORTED},
#endif
#if PY_VERSION_HEX >= 0x030D0000
    // The functions keep no state: each reads only its arguments, which the
    // caller keeps alive (a buffer stays exported while it is read), and the
    // core's readers keep what they share per thread.
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "_lantor_check", kModuleDoc, 0, kMethods, kSlots, nullptr, nullptr, nullptr};

}  // namespace

// The interpreter looks for this name: PyInit_ and the module's name.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
PyMODINIT_FUNC PyInit__lantor_check() { return PyModuleDef_Init(&kModule); }
