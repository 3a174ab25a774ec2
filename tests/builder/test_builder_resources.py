"""The application's splash picture, icon and version information: written
into the rebuilt resource section, read back independently and with the
binutils and icoutils readers, and refused with a clear message when bad."""
import shutil
import struct
import subprocess

import pytest

from .harness import (EN_US, MANIFEST, REPO, RESOURCE_ENTRY, RSRC_RVA, RT_BITMAP, RT_GROUP_ICON, RT_ICON, RT_MANIFEST,
                      RT_VERSION, STUB_RESOURCES, icon_image, make_bmp, make_dib, make_ico, make_icon_file, make_png,
                      make_stub_with_resources, read_block, read_resources, section_table, version_strings)

VERSION_TABLE = '''
[resources.version]
fileVersion = "2.5.0.17"
productVersion = "2.5"
productName = "Résumé Builder"
companyName = "Example Ltd"
fileDescription = "Builds résumés"
copyright = "© 2026 Example Ltd"
'''


@pytest.fixture
def resource_stub(tmp_path):
    path = tmp_path / "resource-stub.exe"
    path.write_bytes(make_stub_with_resources(STUB_RESOURCES))
    return path


@pytest.fixture
def project_with(tmp_path, write_project):
    """project_with(toml, **files) writes the files beside the project."""
    def make(text, **files):
        for name, data in files.items():
            (tmp_path / name.replace("_", ".")).write_bytes(data)
        return write_project(text)
    return make


def build_ok(tovex, project, stub, *args):
    out = project.with_suffix(".exe")
    result = tovex.build(project, "-o", out, *args, stub=stub)
    assert result.returncode == 0, result.stderr
    return out, result


FULL_PROJECT = '''
mainClass = "a.Main"
splashWidth = 40
splashHeight = 30
[resources]
splashPicture = "splash.bmp"
icon = "app.ico"
''' + VERSION_TABLE


def test_picture_icon_and_version_round_trip(tovex, project_with, resource_stub):
    bmp = make_bmp(40, 30, 24, gap=10)  # the gap must not reach the resource
    icon = make_icon_file((16, 32))
    project = project_with(FULL_PROJECT, splash_bmp=bmp, app_ico=icon)
    out, result = build_ok(tovex, project, resource_stub)
    assert result.stderr == ""
    image = out.read_bytes()
    resources = read_resources(image)

    assert resources[RT_BITMAP, 10000, EN_US] == make_dib(40, 30, 24)
    assert resources[RT_MANIFEST, 1, EN_US] == MANIFEST  # kept as the stub had it
    # The application's icon group is the only one, so Explorer shows it.
    groups = [key for key in resources if key[0] == RT_GROUP_ICON]
    assert groups == [(RT_GROUP_ICON, "ID_SPLASH_ICON", EN_US)]
    group = resources[groups[0]]
    assert struct.unpack_from("<HHH", group) == (0, 1, 2)
    for index, size in enumerate((16, 32)):
        width, height, _, _, planes, bits, length, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * index)
        assert (width, height, planes, bits) == (size, size, 1, 32)
        assert resources[RT_ICON, icon_id, EN_US] == icon_image(size)
        assert length == len(icon_image(size))
    assert len([key for key in resources if key[0] == RT_ICON]) == 2

    texts, file_version, product_version = version_strings(resources[RT_VERSION, 1, EN_US])
    assert (file_version, product_version) == ((2, 5, 0, 17), (2, 5, 0, 0))
    assert texts == {"ProductName": "Résumé Builder", "CompanyName": "Example Ltd",
                     "FileDescription": "Builds résumés", "LegalCopyright": "© 2026 Example Ltd",
                     "FileVersion": "2.5.0.17", "ProductVersion": "2.5"}
    assert [key for key in resources if key[0] == RT_VERSION] == [(RT_VERSION, 1, EN_US)]

    # The headers agree with the new section, and the block follows it.
    rsrc = section_table(image)[-1]
    assert [s["name"] for s in section_table(image)][-1] == ".rsrc" and len(section_table(image)) == 5
    assert rsrc["vaddr"] == RSRC_RVA and rsrc["rawsize"] % 0x200 == 0
    assert rsrc["vsize"] <= rsrc["rawsize"] < rsrc["vsize"] + 0x200
    assert struct.unpack_from("<II", image, RESOURCE_ENTRY) == (RSRC_RVA, rsrc["vsize"])
    size_of_image = struct.unpack_from("<I", image, 0x98 + 56)[0]
    assert size_of_image == (RSRC_RVA + rsrc["vsize"] + 0xFFF) & ~0xFFF
    assert struct.unpack_from("<II", image, 552) == (rsrc["rawsize"], rsrc["rawptr"])
    narrow, _, _ = read_block(image)  # found where the launcher looks: behind the new section
    assert (122, b"a.Main") in narrow

    shown = tovex.inspect_json(out)["resources"]
    type_names = {RT_BITMAP: "RT_BITMAP", RT_ICON: "RT_ICON", RT_GROUP_ICON: "RT_GROUP_ICON",
                  RT_VERSION: "RT_VERSION", RT_MANIFEST: "RT_MANIFEST"}
    listed = {(r["type"], r["name"], r["language"]): (r["typeName"], r["size"]) for r in shown}
    assert listed == {(t, n, lang): (type_names[t], len(data)) for (t, n, lang), data in resources.items()}
    text = tovex.run("inspect", out)
    assert text.returncode == 0 and text.stderr == ""
    assert "RT_BITMAP      10000" in text.stdout and "40 x 30, 24 bits per pixel" in text.stdout
    assert '"ID_SPLASH_ICON"' in text.stdout


LIGHT_GREY = (192, 192, 192)


@pytest.mark.parametrize("picture, width, height, bits, top_left", [
    (make_bmp(16, 8, 8), 16, 8, 8, None),
    (make_bmp(5, 3, 24, top_down=True), 5, 3, 24, None),
    (make_bmp(7, 2, 32), 7, 2, 32, None),
    (make_png(6, 4), 6, 4, 24, (0, 0, 0)),
    (make_png(6, 4, alpha=True), 6, 4, 24, LIGHT_GREY),  # the left half is transparent
], ids=["bmp-8bit", "bmp-24bit-top-down", "bmp-32bit", "png", "png-with-alpha"])
def test_pictures_become_a_dib_of_their_size(tovex, project_with, stub, picture, width, height, bits, top_left):
    name = "splash.png" if picture.startswith(b"\x89PNG") else "splash.bmp"
    project = project_with(f'[resources]\nsplashPicture = "{name}"\n', **{name.replace(".", "_"): picture})
    out, _ = build_ok(tovex, project, stub)
    dib = read_resources(out.read_bytes())[RT_BITMAP, 10000, EN_US]
    size, dib_width, dib_height, planes, dib_bits, compression = struct.unpack_from("<IiiHHI", dib)
    assert (size, dib_width, abs(dib_height), planes, dib_bits, compression) == (40, width, height, 1, bits, 0)
    if picture.startswith(b"BM"):
        assert dib == picture[14:]
    else:
        stride = (width * 3 + 3) & ~3
        # Bottom row first; the top right pixel is opaque and keeps its colour,
        # a transparent one lies on the splash window's light grey.
        top = 40 + stride * (height - 1)
        blue, green, red = dib[top + 3 * (width - 1):top + 3 * width]
        assert (blue, green, red) == (((width - 1) * 7) & 0xFF, 0, (width - 1) & 0xFF)
        assert tuple(dib[top:top + 3]) == top_left


def test_without_resources_the_stub_is_written_unchanged(tovex, project_with, resource_stub):
    out, _ = build_ok(tovex, project_with('mainClass = "a.Main"\n'), resource_stub)
    stub = resource_stub.read_bytes()
    assert out.read_bytes()[:len(stub)] == stub


@pytest.mark.parametrize("table, replaced", [
    (VERSION_TABLE, {RT_VERSION}),
    ('[resources]\nicon = "app.ico"\n', {RT_ICON, RT_GROUP_ICON}),
    ('[resources]\nsplashPicture = "splash.bmp"\n', {RT_BITMAP}),
])
def test_each_resource_replaces_only_its_own_kind(tovex, project_with, resource_stub, table, replaced):
    project = project_with(table, splash_bmp=make_bmp(4, 4), app_ico=make_icon_file((16,)))
    out, _ = build_ok(tovex, project, resource_stub)
    resources = read_resources(out.read_bytes())
    kept = {key: data for key, data in STUB_RESOURCES.items() if key[0] not in replaced}
    assert {key: data for key, data in resources.items() if key[0] not in replaced} == kept
    assert {key[0] for key in resources} - {key[0] for key in STUB_RESOURCES} <= replaced


def test_version_strings_are_optional_and_product_version_defaults_to_file_version(tovex, project_with, stub):
    out, _ = build_ok(tovex, project_with('[resources.version]\nfileVersion = "3"\n'), stub)
    texts, file_version, product_version = version_strings(read_resources(out.read_bytes())[RT_VERSION, 1, EN_US])
    assert texts == {"FileVersion": "3", "ProductVersion": "3"}
    assert file_version == product_version == (3, 0, 0, 0)


def test_the_real_stub_rebuilt_reads_back_with_standard_tools(tovex, project_with, tmp_path):
    real_stub = REPO / "dist" / "launcher.exe"
    if not real_stub.exists():
        pytest.skip("dist/launcher.exe is built by `make`")
    if not shutil.which("i686-w64-mingw32-objdump") or not shutil.which("wrestool"):
        pytest.skip("objdump for i686-w64-mingw32 and wrestool (icoutils) are installed by `make`")
    bmp = make_bmp(40, 30, 8)
    project = project_with(FULL_PROJECT, splash_bmp=bmp, app_ico=make_icon_file((16, 32)))
    out, _ = build_ok(tovex, project, real_stub)

    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(out)], capture_output=True, text=True,
                          check=True).stdout
    assert "The .rsrc Resource Directory section" in dump
    assert "name: [val: " in dump and "ID_SPLASH_ICON" in dump
    assert "Entry: ID: 0x002710" in dump  # bitmap 10000

    listing = subprocess.run(["wrestool", "-l", str(out)], capture_output=True, text=True, check=True).stdout
    assert "--type=2 --name=10000 --language=1033" in listing
    assert "--type=14 --name='ID_SPLASH_ICON' --language=1033" in listing
    assert listing.count("--type=3 ") == 2
    assert listing.count("--type=16 ") == 1
    extracted = tmp_path / "extracted.bmp"
    subprocess.run(["wrestool", "-x", "--type=2", "--name=10000", "-o", str(extracted), str(out)], check=True)
    assert extracted.read_bytes() == bmp
    subprocess.run(["wrestool", "-x", "--type=14", "-o", str(tmp_path / "extracted.ico"), str(out)], check=True)
    icons = subprocess.run(["icotool", "-l", str(tmp_path / "extracted.ico")], capture_output=True, text=True,
                           check=True).stdout
    assert "--width=16 --height=16 --bit-depth=32" in icons and "--width=32 --height=32 --bit-depth=32" in icons


def truncated(data, keep):
    return data[:keep]


BAD_INPUTS = [
    # (project text, files, expected message part)
    ('[resources]\nsplashPicture = "missing.bmp"\n', {}, "[resources] splashPicture: "),
    ('[resources]\nsplashPicture = "splash.bmp"\n', {"splash_bmp": b"hello, world"}, "not a BMP or PNG file"),
    ('[resources]\nsplashPicture = "splash.bmp"\n', {"splash_bmp": truncated(make_bmp(20, 20), 200)},
     "damaged BMP file: its pixels need 1200 bytes"),
    ('[resources]\nsplashPicture = "splash.bmp"\n',
     {"splash_bmp": make_bmp(4, 4)[:28] + struct.pack("<H", 7) + make_bmp(4, 4)[30:]},
     "unsupported bitmap depth: 7 bits per pixel"),
    ('[resources]\nsplashPicture = "splash.png"\n', {"splash_png": truncated(make_png(30, 30), 60)},
     "damaged PNG file"),
    ('[resources]\nicon = "app.ico"\n', {"app_ico": b"\0\0\2\0\1\0" + bytes(16)}, "a cursor file, not an icon"),
    ('[resources]\nicon = "app.ico"\n', {"app_ico": make_bmp(4, 4)}, "not an icon file"),
    ('[resources]\nicon = "app.ico"\n', {"app_ico": truncated(make_icon_file((16,)), 300)},
     "damaged icon file: image 1 of 1"),
    ('[resources]\nicon = "app.ico"\n', {"app_ico": make_ico([(16, 16, b"garbage" * 10)])},
     "image 1 of 1 is neither a bitmap nor a PNG"),
    ('[resources.version]\nfileVersion = "1.2.3.4.5"\n', {}, "has more than four parts"),
    ('[resources.version]\nfileVersion = "1.2.x"\n', {}, "has 'x' where a number is expected"),
    ('[resources.version]\nfileVersion = "1.70000"\n', {}, "has the part 70000, more than 65535"),
    ('[resources.version]\nfileVersion = "1..2"\n', {}, "has an empty part"),
    ('[resources.version]\nfileVersion = 1\n', {}, "expected a string, got an integer"),
    ('[resources.version]\nfileVersion = "1"\nproductVersion = "v2"\n', {}, "[resources.version] productVersion"),
    ('[resources.version]\nproductName = "X"\n', {}, "[resources.version] needs fileVersion"),
    ('[resources.version]\nfileVersion = "1"\ncompanyNme = "X"\n', {}, "(did you mean 'companyName'?)"),
    ('[resources]\nsplash = "a.bmp"\n', {}, "unknown [resources] setting 'splash'"),
    ('resources = "a.bmp"\n', {}, "'resources' must be a table"),
]


@pytest.mark.parametrize("text, files, message", BAD_INPUTS)
def test_bad_pictures_icons_and_versions_are_refused(tovex, project_with, stub, text, files, message):
    project = project_with(text, **files)
    result = tovex.build(project, "-o", project.with_suffix(".exe"), stub=stub)
    assert result.returncode == 1
    assert message in result.stderr
    assert result.stderr.startswith(f"{project}:") and ": error: " in result.stderr
    assert not project.with_suffix(".exe").exists()


def test_a_stub_with_damaged_resources_is_named(tovex, project_with, tmp_path):
    image = bytearray(make_stub_with_resources(STUB_RESOURCES))
    rsrc = section_table(image)[-1]
    struct.pack_into("<I", image, rsrc["rawptr"] + 16 + 4, 0x80000000 | 0x7000)  # a directory far outside
    damaged = tmp_path / "damaged-stub.exe"
    damaged.write_bytes(bytes(image))
    project = project_with('[resources.version]\nfileVersion = "1"\n')
    result = tovex.build(project, "-o", tmp_path / "out.exe", stub=damaged)
    assert result.returncode == 1
    assert result.stderr.startswith(f"{damaged}: error: cannot add the application's resources to this stub: ")
    assert "outside the resource section" in result.stderr
    # Without resources to add the stub is taken as it is; inspect names the damage.
    built = tovex.build(project_with('mainClass = "a.Main"\n'), "-o", tmp_path / "plain.exe", stub=damaged)
    assert built.returncode == 0, built.stderr
    inspected = tovex.run("inspect", tmp_path / "plain.exe")
    assert inspected.returncode == 1
    assert f"{tmp_path / 'plain.exe'}: error: cannot read the resources: " in inspected.stderr
    assert "Narrow records (" in inspected.stdout


@pytest.mark.parametrize("keys, warning", [
    ("splashWidth = 40\nsplashHeight = 30\n", None),
    ('[raw.narrow]\n"141" = "40"\n"142" = "30"\n', None),
    ("splashWidth = 256\nsplashHeight = 86\n",
     "the splash picture is 40 x 30 pixels, but the splash window (splashWidth x splashHeight) is 256 x 86; "
     "light grey fills the rest"),
    ("splashWidth = 20\nsplashHeight = 30\n", "is 20 x 30; the picture will be cut off"),
    ("", "is 0 x 0; set splashWidth and splashHeight to the picture's size"),
])
def test_a_picture_of_another_size_than_the_window_is_a_warning(tovex, project_with, stub, keys, warning):
    text = keys + '[resources]\nsplashPicture = "splash.bmp"\n' if not keys.startswith("[") else \
        '[resources]\nsplashPicture = "splash.bmp"\n' + keys
    project = project_with(text, splash_bmp=make_bmp(40, 30))
    out, result = build_ok(tovex, project, stub)
    inspected = tovex.run("inspect", "--json", out)
    assert inspected.returncode == 0
    if warning is None:
        assert result.stderr == "" and inspected.stderr == ""
    else:
        line = text.splitlines().index('splashPicture = "splash.bmp"') + 1
        assert result.stderr.startswith(f"{project}:{line}:17: warning: ")
        assert warning in result.stderr
        assert inspected.stderr.startswith(f"{out}: warning: ") and warning in inspected.stderr
