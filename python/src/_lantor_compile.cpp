// The native module `_lantor_compile`: the Python face of the compiler.
//
// Everything here is binding work: matching arguments, binding an instance to
// the thread that created it, guarding it against re-entry, and converting
// between `str` and UTF-8 bytes. What a command does is decided by
// lantor::dispatch, which never raises; Python exceptions come only from
// misuse of this API.
//
// The module uses multi-phase initialisation and keeps its types in module
// state rather than in C globals, so every (sub)interpreter that imports it
// gets types of its own.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/versions.h"
#include "core/dispatch/command_state.h"
#include "core/dispatch/dispatch.h"

namespace {

// ---------------------------------------------------------------------------
// Fixed texts

constexpr const char kModuleDoc[] = "The native module (`lantor_compile._lantor_compile`).";

// The first line of each of these, up to "--", is the text signature that
// inspect.signature() reads; the interpreter strips it from __doc__.
constexpr const char kCompilerDoc[] =
    "Compiler()\n--\n\n"
    "A compiler driven by JSON commands.\n\n"
    "`unsendable`: the handle holds a stateful build cache, so it is bound to the\n"
    "thread that created it.";

constexpr const char kCommandDoc[] =
    "command($self, cmd_json)\n--\n\n"
    "Apply a command JSON and return the response JSON.\n\n"
    "Domain errors are reported in-band as `{\"ok\": false, \"error\": ...}` JSON,\n"
    "not raised.";

constexpr const char kCommandNogilDoc[] =
    "command_nogil($self, cmd_json)\n--\n\n"
    "Apply a command JSON and return the response JSON, as `command` does,\n"
    "with the interpreter lock released while the command runs.\n\n"
    "Other Python threads run meanwhile, a cargo build included. The response\n"
    "is the one `command` gives. Relative paths and the environment of a build\n"
    "are those of the moment the call starts: a later `os.chdir` or change to\n"
    "`os.environ` does not reach a running command. The instance stays bound\n"
    "to the thread that created it.";

constexpr const char kCommandBatchDoc[] =
    "command_batch_nogil($self, cmd_jsons, stop=None)\n--\n\n"
    "Apply the commands of a list one after the other, as `command_nogil` does,\n"
    "with the interpreter lock released for the whole batch.\n\n"
    "Returns `(responses, error)`: the response of each command that ran, in\n"
    "order, and the exception the next command raised (None when none did).\n"
    "No command starts once `stop` (a StopFlag) is set, or after one raised, so\n"
    "there can be fewer responses than commands. Every command of the batch\n"
    "resolves relative paths and gets the environment of the moment the call\n"
    "starts. An item that is not a `str` raises before any command runs.";

constexpr const char kStopFlagDoc[] =
    "StopFlag()\n--\n\n"
    "A flag that any thread may set, which `Compiler.command_batch_nogil` reads\n"
    "before each command of its batch, without the interpreter lock.";

constexpr const char kStopFlagSetDoc[] =
    "set($self)\n--\n\nSet the flag: no further command of a batch reading it starts.";

constexpr const char kStopFlagIsSetDoc[] = "is_set($self)\n--\n\nWhether the flag is set.";

constexpr const char kVersionDoc[] = "version()\n--\n\nThe library version.";

constexpr const char kPanicDoc[] =
    "Raised when a Compiler is used in a way that cannot be carried out safely,\n"
    "such as from a thread other than the one that created it.\n\n"
    "Derives from BaseException so that a plain `except Exception` does not\n"
    "swallow it.";

// The internal name of the Compiler type, used in the thread-binding messages.
#define LANTOR_COMPILER_TYPE_NAME "_lantor_compile::PyCompiler"

constexpr const char kSentToAnotherThread[] =
    LANTOR_COMPILER_TYPE_NAME " is unsendable, but sent to another thread";
constexpr const char kDroppedOnAnotherThread[] =
    LANTOR_COMPILER_TYPE_NAME " is unsendable, but is being dropped on another thread";

constexpr const char kArgumentNote[] = "while processing 'cmd_json'";

// ---------------------------------------------------------------------------
// Module state

struct ModuleState {
  PyTypeObject* compiler_type;
  PyTypeObject* stop_flag_type;
  PyObject* panic_exception;
};

ModuleState* module_state(PyObject* module) { return static_cast<ModuleState*>(PyModule_GetState(module)); }

// ---------------------------------------------------------------------------
// Thread identity
//
// Each OS thread gets a number the first time it asks for one, never reused.
// Native thread identifiers (pthread_t) are recycled once a thread has been
// joined, so a Compiler created on a finished thread could otherwise pass as
// belonging to an unrelated new thread.

std::uint64_t current_thread_token() {
  static std::atomic<std::uint64_t> next_token{1};
  thread_local const std::uint64_t token = next_token.fetch_add(1, std::memory_order_relaxed);
  return token;
}

// ---------------------------------------------------------------------------
// Exception helpers

// The exception currently being raised, taken out of the thread state.
struct PendingException {
#if PY_VERSION_HEX >= 0x030C0000
  PyObject* value = nullptr;
  void take() { value = PyErr_GetRaisedException(); }
  void restore() { PyErr_SetRaisedException(value); }
  // The exception alone, owned by the caller from now on.
  PyObject* release() { return std::exchange(value, nullptr); }
#else
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  void take() {
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value != nullptr && traceback != nullptr) PyException_SetTraceback(value, traceback);
  }
  void restore() { PyErr_Restore(type, value, traceback); }
  PyObject* release() {
    Py_CLEAR(type);
    Py_CLEAR(traceback);
    return std::exchange(value, nullptr);
  }
#endif
};

// Attaches `note` to the exception being raised, which keeps propagating
// unchanged otherwise. Should attaching fail, the original exception wins.
void add_note_to_raised(const char* note) {
  PendingException pending;
  pending.take();
  if (pending.value != nullptr) {
    PyObject* result = PyObject_CallMethod(pending.value, "add_note", "s", note);
    if (result == nullptr) {
      PyErr_Clear();
    } else {
      Py_DECREF(result);
    }
  }
  pending.restore();
}

// ---------------------------------------------------------------------------
// Compiler

struct CompilerObject {
  PyObject_HEAD
  // Owned; freed on the creating thread only (see compiler_dealloc).
  lantor::CommandState* state;
  // current_thread_token() of the creating thread.
  std::uint64_t owner;
  // Set while a command runs on this instance.
  bool busy;
};

CompilerObject* as_compiler(PyObject* self) { return reinterpret_cast<CompilerObject*>(self); }

// Asked by the core when a signal interrupts a long wait inside a command
// (for another compile's hold on a project directory), with the interpreter
// lock held: the signal's Python handler runs now, as it would in any
// blocking call of the interpreter's own, and the wait ends when it raised
// (KeyboardInterrupt from Ctrl-C). The exception stays set for the command
// to raise.
bool run_signal_handlers(void*) { return PyErr_CheckSignals() != 0; }

PyObject* compiler_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  if (PyTuple_GET_SIZE(args) != 0 || (kwargs != nullptr && PyDict_GET_SIZE(kwargs) != 0)) {
    PyErr_SetString(PyExc_TypeError, "Compiler() takes no arguments");
    return nullptr;
  }
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* self = alloc(type, 0);
  if (self == nullptr) return nullptr;
  CompilerObject* compiler = as_compiler(self);
  compiler->state = nullptr;
  compiler->owner = current_thread_token();
  compiler->busy = false;
  compiler->state = new (std::nothrow) lantor::CommandState();
  if (compiler->state == nullptr) {
    Py_DECREF(self);
    return PyErr_NoMemory();
  }
  compiler->state->context.on_interrupt(run_signal_handlers, nullptr);
  return self;
}

// Reports a drop on a foreign thread through sys.unraisablehook, leaving any
// exception that is being raised around the deallocation as it was.
void report_foreign_drop(PyTypeObject* type) {
  PendingException pending;
  pending.take();
  PyErr_SetString(PyExc_RuntimeError, kDroppedOnAnotherThread);
  // The dying instance itself must not reach the hook: its reference count is
  // already zero and a hook that kept it would resurrect freed memory. Its
  // type is alive until the end of deallocation and says what was dropped.
  PyErr_WriteUnraisable(reinterpret_cast<PyObject*>(type));
  pending.restore();
}

void compiler_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  CompilerObject* compiler = as_compiler(self);
  if (compiler->owner == current_thread_token()) {
    delete compiler->state;
  } else {
    // The state belongs to another thread; leaking it is the only safe choice.
    report_foreign_drop(type);
  }
  compiler->state = nullptr;
  auto free_object = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_object(self);
  // Instances of a heap type hold a reference to it (taken by tp_alloc).
  Py_DECREF(type);
}

// The parameters of a method: their names in order, the first `required`
// of them required, the others optional.
struct Parameters {
  const char* method;
  const char* const* names;
  Py_ssize_t count;
  Py_ssize_t required;
};

// Matches the arguments of a vectorcall of `params.method` against its
// parameters, positional or keyword, with the interpreter's usual messages.
// Fills `found` (borrowed references, nullptr for an optional one not
// given) and returns true, or returns false with TypeError set.
bool match_arguments(const Parameters& params, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     PyObject** found) {
  const char* method = params.method;
  for (Py_ssize_t i = 0; i < params.count; ++i) found[i] = i < nargs ? args[i] : nullptr;
  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* name = PyTuple_GET_ITEM(kwnames, k);
    if (!PyUnicode_Check(name)) {
      PyErr_Format(PyExc_TypeError, "Compiler.%s() keywords must be strings", method);
      return false;
    }
    Py_ssize_t i = 0;
    while (i < params.count && PyUnicode_CompareWithASCIIString(name, params.names[i]) != 0) ++i;
    if (i == params.count) {
      PyErr_Format(PyExc_TypeError, "Compiler.%s() got an unexpected keyword argument '%U'", method, name);
      return false;
    }
    if (found[i] != nullptr) {
      PyErr_Format(PyExc_TypeError, "Compiler.%s() got multiple values for argument '%s'", method,
                   params.names[i]);
      return false;
    }
    found[i] = args[nargs + k];
  }
  if (nargs > params.count) {
    if (params.count == params.required) {
      PyErr_Format(PyExc_TypeError, "Compiler.%s() takes %zd positional argument%s but %zd were given",
                   method, params.count, params.count == 1 ? "" : "s", nargs);
    } else {
      PyErr_Format(PyExc_TypeError,
                   "Compiler.%s() takes from %zd to %zd positional arguments but %zd were given", method,
                   params.required, params.count, nargs);
    }
    return false;
  }
  for (Py_ssize_t i = 0; i < params.required; ++i) {
    if (found[i] == nullptr) {
      PyErr_Format(PyExc_TypeError, "Compiler.%s() missing 1 required positional argument: '%s'", method,
                   params.names[i]);
      return false;
    }
  }
  return true;
}

// The UTF-8 text of `cmd_json`, read in place from the str object (which
// caches its UTF-8 form), or nullptr with the exception set.
const char* command_text(PyObject* cmd_json, Py_ssize_t* size) {
  if (!PyUnicode_Check(cmd_json)) {
    if (cmd_json == Py_None) {
      PyErr_SetString(PyExc_TypeError, "'None' is not an instance of 'str'");
      return nullptr;
    }
    PyObject* type_name = PyType_GetName(Py_TYPE(cmd_json));
    if (type_name == nullptr) return nullptr;
    PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of 'str'", type_name);
    Py_DECREF(type_name);
    return nullptr;
  }
  // Strict: lone surrogates raise UnicodeEncodeError.
  return PyUnicode_AsUTF8AndSize(cmd_json, size);
}

// Holds the busy flag for the length of one command.
class BusyGuard {
 public:
  explicit BusyGuard(CompilerObject* compiler) : compiler_(compiler) { compiler_->busy = true; }
  ~BusyGuard() { compiler_->busy = false; }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  CompilerObject* compiler_;
};

// What running a command came to, settled without touching Python so that
// it can be reached with the interpreter lock released.
struct Outcome {
  enum class Kind { Response, NoMemory, CppException, Unknown };
  Kind kind = Kind::Response;
  // The response, or the C++ exception's message.
  std::string text;
};

// dispatch reports every failure in its response; the handlers below only
// keep a C++ exception from unwinding into the interpreter. A failed
// allocation, or a size no container can hold, is MemoryError.
Outcome run_dispatch(std::string_view text, lantor::CommandState& state) noexcept {
  Outcome outcome;
  try {
    outcome.text = lantor::dispatch(text, state);
  } catch (const std::bad_alloc&) {
    outcome.kind = Outcome::Kind::NoMemory;
  } catch (const std::length_error&) {
    outcome.kind = Outcome::Kind::NoMemory;
  } catch (const std::exception& error) {
    outcome.kind = Outcome::Kind::CppException;
    try {
      outcome.text = error.what();
    } catch (...) {
      outcome.kind = Outcome::Kind::NoMemory;
    }
  } catch (...) {
    outcome.kind = Outcome::Kind::Unknown;
  }
  return outcome;
}

// The command's result for Python, with the interpreter lock held.
PyObject* finish(const Outcome& outcome, ModuleState* module) {
  switch (outcome.kind) {
    case Outcome::Kind::NoMemory: return PyErr_NoMemory();
    case Outcome::Kind::CppException:
      PyErr_Format(module->panic_exception, "%s", outcome.text.c_str());
      return nullptr;
    case Outcome::Kind::Unknown:
      PyErr_SetString(module->panic_exception, "unexpected failure inside the compiler");
      return nullptr;
    case Outcome::Kind::Response: break;
  }
  // A signal handler that raised while the command waited: the command
  // stopped there, and the exception is what the caller gets.
  if (PyErr_Occurred() != nullptr) return nullptr;
  return PyUnicode_DecodeUTF8(outcome.text.data(), static_cast<Py_ssize_t>(outcome.text.size()), "strict");
}

// The thread state saved while commands run without the interpreter lock,
// which the interrupt check takes the lock back with, and whether a signal
// handler raised there (its exception then waits in the thread state).
struct Unlocked {
  PyThreadState* thread_state = nullptr;
  bool raised = false;
};

// run_signal_handlers for commands that run without the interpreter lock:
// the lock is taken for the check and given up again. (Only the main thread
// runs Python's signal handlers; elsewhere nothing happens and the wait goes
// on.)
bool run_signal_handlers_unlocked(void* arg) {
  auto* unlocked = static_cast<Unlocked*>(arg);
  PyEval_RestoreThread(unlocked->thread_state);
  bool raised = PyErr_CheckSignals() != 0;
  unlocked->thread_state = PyEval_SaveThread();
  unlocked->raised = unlocked->raised || raised;
  return raised;
}

// Runs `work(unlocked)` with the interpreter lock released (the thread
// detached from the interpreter); while it runs, a wait that a signal
// interrupts takes the lock back only to run the handlers.
template <typename Work>
void detached(lantor::CommandState& state, Work&& work) {
  Unlocked unlocked;
  state.context.on_interrupt(run_signal_handlers_unlocked, &unlocked);
  unlocked.thread_state = PyEval_SaveThread();
  std::forward<Work>(work)(unlocked);
  PyEval_RestoreThread(unlocked.thread_state);
  state.context.on_interrupt(run_signal_handlers, nullptr);
}

// Runs `work(unlocked)` with the interpreter lock released. The working
// directory and environment are taken first, while the lock is still held,
// and serve every command `work` runs; the project lock a compile takes is
// released inside dispatch, before the interpreter lock is taken back.
// Returns false, having run nothing, when there was no memory to take them.
template <typename Work>
bool without_interpreter_lock(lantor::CommandState& state, Work&& work) {
  lantor::CallContext held;
  try {
    held = std::exchange(state.context, lantor::CallContext::capture());
  } catch (const std::bad_alloc&) {
    return false;
  }
  detached(state, [&](Unlocked& unlocked) {
    std::forward<Work>(work)(unlocked);
    // Closing the captured handle needs no lock either.
    state.context = std::move(held);
  });
  return true;
}

// command_nogil: the text copied while the interpreter lock is held, then
// the command run without it.
Outcome run_without_interpreter_lock(const char* text, Py_ssize_t size, lantor::CommandState& state) {
  Outcome outcome;
  std::string copy;
  try {
    copy.assign(text, static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    outcome.kind = Outcome::Kind::NoMemory;
    return outcome;
  }
  bool ran = without_interpreter_lock(state, [&](Unlocked&) {
    outcome = run_dispatch(copy, state);
    std::string().swap(copy);
  });
  if (!ran) outcome.kind = Outcome::Kind::NoMemory;
  return outcome;
}

// A call of a Compiler method, as the interpreter makes it.
struct MethodCall {
  PyObject* self;
  PyTypeObject* defining_class;
  PyObject* const* args;
  Py_ssize_t nargs_with_flags;
  PyObject* kwnames;
};

// What every command method does before it touches the instance: matches
// its arguments, finds its module state, checks the calling thread and the
// busy flag. Returns the module state, or nullptr with the exception set.
ModuleState* enter(const Parameters& params, const MethodCall& call, PyObject** found) {
  if (!match_arguments(params, call.args, PyVectorcall_NARGS(call.nargs_with_flags), call.kwnames, found))
    return nullptr;
  CompilerObject* compiler = as_compiler(call.self);
  ModuleState* module = static_cast<ModuleState*>(PyType_GetModuleState(call.defining_class));
  if (module == nullptr) {
    PyErr_Format(PyExc_SystemError, "Compiler.%s() called without its module state", params.method);
    return nullptr;
  }
  // The state is not looked at before this check passes. `owner` never
  // changes, so the check holds without the interpreter lock too; and only
  // the owning thread ever reads or sets `busy`.
  if (compiler->owner != current_thread_token()) {
    PyErr_SetString(module->panic_exception, kSentToAnotherThread);
    return nullptr;
  }
  if (compiler->busy) {
    PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
    return nullptr;
  }
  return module;
}

constexpr const char* kCommandParameters[] = {"cmd_json"};

// command and command_nogil: the text, then the command with or without
// the interpreter lock.
PyObject* run_command(const char* method, bool release_lock, const MethodCall& call) {
  PyObject* cmd_json = nullptr;
  ModuleState* module = enter({method, kCommandParameters, 1, 1}, call, &cmd_json);
  if (module == nullptr) return nullptr;
  CompilerObject* compiler = as_compiler(call.self);
  BusyGuard busy(compiler);

  Py_ssize_t size = 0;
  const char* text = command_text(cmd_json, &size);
  if (text == nullptr) {
    add_note_to_raised(kArgumentNote);
    return nullptr;
  }
  if (release_lock) return finish(run_without_interpreter_lock(text, size, *compiler->state), module);
  const std::string_view view(text, static_cast<std::size_t>(size));
#ifdef Py_GIL_DISABLED
  // A free-threaded interpreter has no lock for `command` to hold: other
  // threads run meanwhile either way. The thread detaches all the same, so
  // that the pauses in which the interpreter stops every attached thread (a
  // collection of reference cycles, say) need not wait for a build. Unlike
  // command_nogil it takes no working directory or environment: they are
  // read as the command uses them, as in every build. The caller's reference
  // keeps the text alive.
  Outcome outcome;
  detached(*compiler->state, [&](Unlocked&) { outcome = run_dispatch(view, *compiler->state); });
  return finish(outcome, module);
#else
  return finish(run_dispatch(view, *compiler->state), module);
#endif
}

PyObject* compiler_command(PyObject* self, PyTypeObject* defining_class, PyObject* const* args,
                           Py_ssize_t nargs_with_flags, PyObject* kwnames) {
  return run_command("command", false, {self, defining_class, args, nargs_with_flags, kwnames});
}

PyObject* compiler_command_nogil(PyObject* self, PyTypeObject* defining_class, PyObject* const* args,
                                 Py_ssize_t nargs_with_flags, PyObject* kwnames) {
  return run_command("command_nogil", true, {self, defining_class, args, nargs_with_flags, kwnames});
}

// ---------------------------------------------------------------------------
// StopFlag

struct StopFlagObject {
  PyObject_HEAD
  std::atomic<bool> set;
};

StopFlagObject* as_stop_flag(PyObject* self) { return reinterpret_cast<StopFlagObject*>(self); }

PyObject* stop_flag_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  if (PyTuple_GET_SIZE(args) != 0 || (kwargs != nullptr && PyDict_GET_SIZE(kwargs) != 0)) {
    PyErr_SetString(PyExc_TypeError, "StopFlag() takes no arguments");
    return nullptr;
  }
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* self = alloc(type, 0);
  if (self == nullptr) return nullptr;
  new (&as_stop_flag(self)->set) std::atomic<bool>(false);
  return self;
}

PyObject* stop_flag_set(PyObject* self, PyObject*) {
  as_stop_flag(self)->set.store(true);
  Py_RETURN_NONE;
}

PyObject* stop_flag_is_set(PyObject* self, PyObject*) {
  return PyBool_FromLong(as_stop_flag(self)->set.load());
}

PyMethodDef stop_flag_methods[] = {
    {"set", stop_flag_set, METH_NOARGS, kStopFlagSetDoc},
    {"is_set", stop_flag_is_set, METH_NOARGS, kStopFlagIsSetDoc},
    {nullptr, nullptr, 0, nullptr},
};

// The flag is a plain atomic: nothing to free, no references held, so the
// type's default deallocation serves.
PyType_Slot stop_flag_slots[] = {
    {Py_tp_doc, const_cast<char*>(kStopFlagDoc)},
    {Py_tp_new, reinterpret_cast<void*>(stop_flag_new)},
    {Py_tp_methods, stop_flag_methods},
    {0, nullptr},
};

PyType_Spec stop_flag_spec = {
    "lantor_compile._lantor_compile.StopFlag",     sizeof(StopFlagObject), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, stop_flag_slots,
};

// ---------------------------------------------------------------------------
// command_batch_nogil

// The commands of a batch, read while the interpreter lock is held: the
// batch keeps a tuple of the texts, which keeps each str and the UTF-8 form
// it caches alive and unchanged while the lock is released, so the texts are
// read in place rather than copied.
struct BatchTexts {
  PyObject* items = nullptr;  // owned tuple
  std::vector<std::string_view> texts;

  BatchTexts() = default;
  BatchTexts(const BatchTexts&) = delete;
  BatchTexts& operator=(const BatchTexts&) = delete;
  ~BatchTexts() { Py_XDECREF(items); }
};

// Fills `batch` from `cmd_jsons`, a list or tuple of str; false with the
// exception set (a note naming the item that failed).
bool read_batch(PyObject* cmd_jsons, BatchTexts& batch) {
  // A str is a sequence too: each character would pass for a command.
  if (!PyList_Check(cmd_jsons) && !PyTuple_Check(cmd_jsons)) {
    PyErr_Format(PyExc_TypeError, "cmd_jsons must be a list or tuple of str, not %.200s",
                 Py_TYPE(cmd_jsons)->tp_name);
    return false;
  }
  batch.items = PySequence_Tuple(cmd_jsons);
  if (batch.items == nullptr) return false;
  const Py_ssize_t count = PyTuple_GET_SIZE(batch.items);
  try {
    batch.texts.reserve(static_cast<std::size_t>(count));
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return false;
  }
  for (Py_ssize_t i = 0; i < count; ++i) {
    Py_ssize_t size = 0;
    const char* text = command_text(PyTuple_GET_ITEM(batch.items, i), &size);
    if (text == nullptr) {
      add_note_to_raised(("while processing item " + std::to_string(i) + " of 'cmd_jsons'").c_str());
      return false;
    }
    batch.texts.emplace_back(text, static_cast<std::size_t>(size));
  }
  return true;
}

// The (responses, error) pair of a batch whose commands gave `outcomes`,
// with the interpreter lock held. `interrupted`: a signal handler raised
// during the last of them, whose response is dropped for that exception.
PyObject* batch_result(const std::vector<Outcome>& outcomes, bool interrupted, ModuleState* module) {
  PendingException pending;
  PyObject* error = nullptr;
  if (interrupted) {
    pending.take();
    error = pending.release();
  }
  const std::size_t answered = outcomes.size() - (interrupted && !outcomes.empty() ? 1 : 0);
  PyObject* responses = PyList_New(0);
  for (std::size_t i = 0; responses != nullptr && i < answered; ++i) {
    PyObject* response = finish(outcomes[i], module);
    if (response == nullptr) {
      // Only the last outcome can be a failure: it ended the batch.
      pending.take();
      Py_XSETREF(error, pending.release());
      break;
    }
    if (PyList_Append(responses, response) < 0) Py_CLEAR(responses);
    Py_DECREF(response);
  }
  if (responses == nullptr) {
    Py_XDECREF(error);
    return nullptr;
  }
  return Py_BuildValue("(NN)", responses, error != nullptr ? error : Py_NewRef(Py_None));
}

constexpr const char* kBatchParameters[] = {"cmd_jsons", "stop"};

PyObject* compiler_command_batch_nogil(PyObject* self, PyTypeObject* defining_class, PyObject* const* args,
                                       Py_ssize_t nargs_with_flags, PyObject* kwnames) {
  PyObject* found[2] = {nullptr, nullptr};
  ModuleState* module = enter({"command_batch_nogil", kBatchParameters, 2, 1},
                              {self, defining_class, args, nargs_with_flags, kwnames}, found);
  if (module == nullptr) return nullptr;
  PyObject* stop_arg = found[1] == Py_None ? nullptr : found[1];
  if (stop_arg != nullptr && !PyObject_TypeCheck(stop_arg, module->stop_flag_type)) {
    PyErr_Format(PyExc_TypeError, "stop must be a StopFlag or None, not %.200s", Py_TYPE(stop_arg)->tp_name);
    return nullptr;
  }
  // The caller's reference keeps the flag alive for the call.
  const std::atomic<bool>* stop = stop_arg != nullptr ? &as_stop_flag(stop_arg)->set : nullptr;
  CompilerObject* compiler = as_compiler(self);
  BusyGuard busy(compiler);

  BatchTexts batch;
  if (!read_batch(found[0], batch)) return nullptr;
  std::vector<Outcome> outcomes;
  bool interrupted = false;
  try {
    outcomes.reserve(batch.texts.size());
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
  lantor::CommandState& state = *compiler->state;
  bool ran = without_interpreter_lock(state, [&](Unlocked& unlocked) {
    for (std::string_view text : batch.texts) {
      if (stop != nullptr && stop->load()) break;
      outcomes.push_back(run_dispatch(text, state));
      if (outcomes.back().kind != Outcome::Kind::Response || unlocked.raised) break;
    }
    interrupted = unlocked.raised;
  });
  if (!ran) return PyErr_NoMemory();
  return batch_result(outcomes, interrupted, module);
}

PyMethodDef compiler_methods[] = {
    {"command", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compiler_command)),
     METH_METHOD | METH_FASTCALL | METH_KEYWORDS, kCommandDoc},
    {"command_nogil", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compiler_command_nogil)),
     METH_METHOD | METH_FASTCALL | METH_KEYWORDS, kCommandNogilDoc},
    {"command_batch_nogil",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compiler_command_batch_nogil)),
     METH_METHOD | METH_FASTCALL | METH_KEYWORDS, kCommandBatchDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot compiler_slots[] = {
    {Py_tp_doc, const_cast<char*>(kCompilerDoc)},
    {Py_tp_new, reinterpret_cast<void*>(compiler_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(compiler_dealloc)},
    {Py_tp_methods, compiler_methods},
    {0, nullptr},
};

// The class is declared without a module of its own: it reports itself as
// builtins.Compiler (see new_compiler_type). It holds no Python references,
// so it needs no GC support of its own.
PyType_Spec compiler_spec = {
    "builtins.Compiler", sizeof(CompilerObject), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    compiler_slots,
};

// ---------------------------------------------------------------------------
// Module

PyObject* version_string() {
  return PyUnicode_FromStringAndSize(lantor::kCompilerVersion.data(),
                                     static_cast<Py_ssize_t>(lantor::kCompilerVersion.size()));
}

PyObject* module_version(PyObject*, PyObject*) { return version_string(); }

PyObject* new_compiler_type(PyObject* module) {
  PyObject* type = PyType_FromModuleAndSpec(module, &compiler_spec, nullptr);
  if (type == nullptr) return nullptr;
  // The dotted name "builtins.Compiler" makes the interpreter record
  // "builtins" as the class's module (a dotless name would leave __module__
  // unset and draw a DeprecationWarning). The C-level name is then cut back
  // to the bare class name, pointing into the same buffer so nothing changes
  // ownership, as the interpreter itself does when __name__ is assigned;
  // messages that quote the type name then say 'Compiler'.
  PyTypeObject* compiler_type = reinterpret_cast<PyTypeObject*>(type);
  const char* dot = std::strrchr(compiler_type->tp_name, '.');
  if (dot != nullptr) compiler_type->tp_name = dot + 1;
  return type;
}

// The panic exception is named after the module as it was imported, so that
// its repr and pickling point at where it can be found.
PyObject* new_panic_exception(PyObject* module) {
  PyObject* module_name = PyModule_GetNameObject(module);
  if (module_name == nullptr) return nullptr;
  PyObject* qualified = PyUnicode_FromFormat("%U.PanicException", module_name);
  Py_DECREF(module_name);
  if (qualified == nullptr) return nullptr;
  const char* name = PyUnicode_AsUTF8(qualified);
  PyObject* exception =
      name == nullptr ? nullptr : PyErr_NewExceptionWithDoc(name, kPanicDoc, PyExc_BaseException, nullptr);
  Py_DECREF(qualified);
  return exception;
}

int module_exec(PyObject* module) {
  ModuleState* state = module_state(module);

  PyObject* version = version_string();
  if (version == nullptr) return -1;
  int failed = PyModule_AddObjectRef(module, "__version__", version);
  Py_DECREF(version);
  if (failed < 0) return -1;

  PyObject* compiler_type = new_compiler_type(module);
  if (compiler_type == nullptr) return -1;
  state->compiler_type = reinterpret_cast<PyTypeObject*>(compiler_type);
  if (PyModule_AddType(module, state->compiler_type) < 0) return -1;

  PyObject* stop_flag_type = PyType_FromModuleAndSpec(module, &stop_flag_spec, nullptr);
  if (stop_flag_type == nullptr) return -1;
  state->stop_flag_type = reinterpret_cast<PyTypeObject*>(stop_flag_type);
  if (PyModule_AddType(module, state->stop_flag_type) < 0) return -1;

  state->panic_exception = new_panic_exception(module);
  if (state->panic_exception == nullptr) return -1;
  if (PyModule_AddObjectRef(module, "PanicException", state->panic_exception) < 0) return -1;
  return 0;
}

int module_traverse(PyObject* module, visitproc visit, void* arg) {
  ModuleState* state = module_state(module);
  if (state == nullptr) return 0;
  Py_VISIT(state->compiler_type);
  Py_VISIT(state->stop_flag_type);
  Py_VISIT(state->panic_exception);
  return 0;
}

int module_clear(PyObject* module) {
  ModuleState* state = module_state(module);
  if (state == nullptr) return 0;
  Py_CLEAR(state->compiler_type);
  Py_CLEAR(state->stop_flag_type);
  Py_CLEAR(state->panic_exception);
  return 0;
}

void module_free(void* module) { module_clear(static_cast<PyObject*>(module)); }

PyMethodDef module_methods[] = {
    {"version", module_version, METH_NOARGS, kVersionDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
#if PY_VERSION_HEX >= 0x030C0000
    // Everything lives in module state, but the core has not been audited for
    // running concurrently under separate interpreter locks.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_SUPPORTED},
#endif
#if PY_VERSION_HEX >= 0x030D0000
    // Nothing here relies on the interpreter lock: the thread check reads a
    // value that never changes, the busy flag and the instance's state are
    // touched by the owning thread alone, the thread numbers and a
    // StopFlag are atomics, the module state is written only while the
    // module executes, and the core keeps its shared caches under locks of
    // its own (command_nogil runs it on many threads at once already).
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_lantor_compile", kModuleDoc,   sizeof(ModuleState), module_methods,
    module_slots,          module_traverse,   module_clear, module_free,
};

}  // namespace

// The interpreter looks for this name: PyInit_ and the module's name.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
PyMODINIT_FUNC PyInit__lantor_compile(void) { return PyModuleDef_Init(&module_def); }
