"""The installed type stub agrees with the module: names, member kinds and parameters."""
import ast
import inspect
import pathlib
import sys
import types

import pytest

import quorlin_cn0 as q

STUB_PACKAGE = "quorlin_cn0-stubs"
REQUIRED = object()  # the default of a parameter without one


def installed_stub_dir():
    for entry in [pathlib.Path(q.__file__).parent] + [pathlib.Path(p) for p in sys.path if p]:
        candidate = entry / STUB_PACKAGE
        if (candidate / "__init__.pyi").is_file():
            return candidate
    pytest.fail(f"{STUB_PACKAGE}/__init__.pyi is not installed beside the module")


@pytest.fixture(scope="module")
def stub():
    return ast.parse((installed_stub_dir() / "__init__.pyi").read_text())


def public(name):
    return not name.startswith("_") or name == "__version__"


def top_level_names(tree):
    names = []
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            names.append(node.name)
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            names.append(node.target.id)
    return [n for n in names if public(n)]


def classes_of(tree):
    """The module's classes; private ones (the shapes of returned dicts) exist only in the stub."""
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef) and public(node.name)}


def decorators(function):
    return {d.id for d in function.decorator_list if isinstance(d, ast.Name)}


def stub_kind(function):
    found = decorators(function) & {"property", "staticmethod", "classmethod"}
    return found.pop() if found else "method"


def runtime_kind(cls, name):
    member = inspect.getattr_static(cls, name)
    if isinstance(member, staticmethod):
        return "staticmethod"
    if inspect.isgetsetdescriptor(member) or isinstance(member, property):
        return "property"
    return "method"


def stub_parameters(function):
    """(name, default) pairs without self; defaults as values, REQUIRED when there is none."""
    arguments = function.args
    names = [a.arg for a in arguments.posonlyargs + arguments.args]
    defaults = [REQUIRED] * (len(names) - len(arguments.defaults)) + [ast.literal_eval(d) for d in arguments.defaults]
    pairs = list(zip(names, defaults))
    pairs += [(a.arg, REQUIRED if d is None else ast.literal_eval(d))
              for a, d in zip(arguments.kwonlyargs, arguments.kw_defaults)]
    return pairs[1:] if pairs and pairs[0][0] == "self" else pairs


def runtime_parameters(callable_object):
    signature = inspect.signature(callable_object)
    return [(p.name, REQUIRED if p.default is inspect.Parameter.empty else p.default)
            for p in signature.parameters.values() if p.name != "self"]


def test_stub_package_is_marked_typed():
    assert (installed_stub_dir() / "py.typed").is_file()


def test_same_top_level_names_in_module_order(stub):
    # Submodules of the Python part have stubs of their own.
    assert top_level_names(stub) == [n for n, v in vars(q).items() if public(n) and not isinstance(v, types.ModuleType)]


def test_same_public_members_per_class(stub):
    for name, node in classes_of(stub).items():
        members = {f.name: f for f in node.body if isinstance(f, ast.FunctionDef) and not f.name.startswith("_")}
        cls = getattr(q, name)
        assert set(members) == {n for n in dir(cls) if not n.startswith("_")}, name
        for member, function in members.items():
            assert stub_kind(function) == runtime_kind(cls, member), f"{name}.{member}"


def test_parameters_and_defaults_match(stub):
    for node in stub.body:
        if isinstance(node, ast.FunctionDef):
            assert stub_parameters(node) == runtime_parameters(getattr(q, node.name)), node.name
    for name, node in classes_of(stub).items():
        cls = getattr(q, name)
        for function in (f for f in node.body if isinstance(f, ast.FunctionDef)):
            if function.name == "__init__":
                # Only the classes that can be constructed declare a constructor.
                assert stub_parameters(function) == runtime_parameters(cls), name
            elif stub_kind(function) != "property":
                target = getattr(cls, function.name)
                assert stub_parameters(function) == runtime_parameters(target), f"{name}.{function.name}"
        constructible = name in ("AnalysisConfig", "CN0Analyzer")
        assert any(f.name == "__init__" for f in node.body if isinstance(f, ast.FunctionDef)) == constructible, name


def test_type_checker_finds_the_stub(tmp_path):
    mypy = pytest.importorskip("mypy.api")
    program = tmp_path / "use.py"
    program.write_text(
        "import quorlin_cn0 as q\n"
        "r = q.CN0Analyzer.from_obs(q.read_rinex_obs('x.obs'), systems=['G']).analyze()\n"
        "reveal_type(r.station_name)\n"
        "q.CN0Analyzer('not a configuration')\n")
    out, _, status = mypy.run([str(program), "--no-incremental", "--python-executable", sys.executable,
                               "--cache-dir", str(tmp_path / "cache")])
    assert 'Revealed type is "str | None"' in out, out
    assert 'Argument 1 to "CN0Analyzer" has incompatible type "str"; expected "AnalysisConfig"' in out, out
    assert status == 1 and "Found 1 error" in out


@pytest.mark.parametrize("name", ["frames", "plot", "report"])
def test_python_part_stubs_agree(name):
    """Each submodule of the Python part has a stub naming its public functions and their parameters."""
    import importlib

    module = importlib.import_module(f"quorlin_cn0.{name}")
    tree = ast.parse((installed_stub_dir() / f"{name}.pyi").read_text())
    functions = {node.name: node for node in tree.body if isinstance(node, ast.FunctionDef)}
    runtime = {n for n, v in vars(module).items()
               if inspect.isfunction(v) and v.__module__ == module.__name__ and not n.startswith("_")}
    assert set(functions) == runtime
    for function_name, node in functions.items():
        assert stub_parameters(node) == runtime_parameters(getattr(module, function_name)), function_name


def test_type_checker_reads_the_python_part(tmp_path):
    mypy = pytest.importorskip("mypy.api")
    program = tmp_path / "use.py"
    program.write_text(
        "import quorlin_cn0 as q\n"
        "from quorlin_cn0 import plot, report\n"
        "r = q.analyze_cn0('x.obs')\n"
        "reveal_type(report.summary_card(r))\n"
        "reveal_type(r.sample_columns()['cn0'].labels)\n"
        "plot.skyplot(r, max_points='many')\n")
    out, _, status = mypy.run([str(program), "--no-incremental", "--python-executable", sys.executable,
                               "--cache-dir", str(tmp_path / "cache")])
    assert 'Revealed type is "str"' in out, out
    assert 'Revealed type is "list[str] | None"' in out, out
    assert 'Argument "max_points" to "skyplot" has incompatible type "str"; expected "int"' in out, out
    assert status == 1 and "Found 1 error" in out
