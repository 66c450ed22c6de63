// The native module `_lantor_check`: located failures and the strategy
// checker, beside `_lantor_compile`, whose surface stays as it is. Both
// functions return plain tuples; lantor_compile.diagnostics makes them
// Diagnostic values with lines and columns.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>
#include <string_view>
#include <vector>

#include "core/describe/description.h"
#include "core/diagnose/diagnose.h"

namespace {

constexpr const char kModuleDoc[] =
    "Located failures and the strategy checker (`lantor_compile._lantor_check`).";
constexpr const char kCheckDoc[] =
    "check(text)\n--\n\n"
    "The findings of a strategy document: (severity, code, message, pointer, offset, help) tuples.";
constexpr const char kLocateDoc[] =
    "locate(command)\n--\n\n"
    "Where a compile command fails before its build, as one such tuple, or None.";
constexpr const char kDescribeDoc[] =
    "describe()\n--\n\n"
    "The strategy document's types and the compile request's choices, from the compiler's own tables, "
    "as JSON text.";

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

PyObject* finding_tuple(const lantor::diagnose::Finding& f) {
  const char* severity = f.severity == lantor::diagnose::Severity::Error ? "error" : "warning";
  return Py_BuildValue("(ss#s#s#nz#)", severity, f.code.data(), static_cast<Py_ssize_t>(f.code.size()),
                       f.message.data(), static_cast<Py_ssize_t>(f.message.size()), f.pointer.data(),
                       static_cast<Py_ssize_t>(f.pointer.size()), static_cast<Py_ssize_t>(f.offset),
                       f.help ? f.help->data() : nullptr,
                       f.help ? static_cast<Py_ssize_t>(f.help->size()) : 0);
}

PyObject* check(PyObject*, PyObject* arg) {
  const std::optional<std::string_view> text = utf8_argument(arg);
  if (!text) return nullptr;
  std::vector<lantor::diagnose::Finding> findings;
  Py_BEGIN_ALLOW_THREADS findings = lantor::diagnose::check_strategy(*text);
  Py_END_ALLOW_THREADS PyObject* list = PyList_New(static_cast<Py_ssize_t>(findings.size()));
  if (list == nullptr) return nullptr;
  for (std::size_t i = 0; i < findings.size(); ++i) {
    PyObject* item = finding_tuple(findings[i]);
    if (item == nullptr) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
  }
  return list;
}

PyObject* locate(PyObject*, PyObject* arg) {
  const std::optional<std::string_view> command = utf8_argument(arg);
  if (!command) return nullptr;
  std::optional<lantor::diagnose::Finding> found;
  Py_BEGIN_ALLOW_THREADS found = lantor::diagnose::locate_compile_failure(*command);
  Py_END_ALLOW_THREADS if (!found) Py_RETURN_NONE;
  return finding_tuple(*found);
}

PyObject* describe(PyObject*, PyObject*) {
  const lantor::Result<std::string> text = lantor::describe::document_description();
  if (!text.ok()) {
    PyErr_SetString(PyExc_RuntimeError, text.error().c_str());
    return nullptr;
  }
  return PyUnicode_FromStringAndSize(text->data(), static_cast<Py_ssize_t>(text->size()));
}

PyMethodDef kMethods[] = {
    {"check", check, METH_O, kCheckDoc},
    {"locate", locate, METH_O, kLocateDoc},
    {"describe", describe, METH_NOARGS, kDescribeDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot kSlots[] = {
#if PY_VERSION_HEX >= 0x030C0000
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_SUPPORTED},
#endif
#if PY_VERSION_HEX >= 0x030D0000
    // The functions keep no state: each reads its argument, which the
    // caller's reference keeps alive, with the interpreter lock released
    // already, and the core's readers keep what they share per thread.
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
