#!/usr/bin/env python3
"""Checks the packaged Kdenlive and Shotcut descriptions of the frei0r filter against what the
module itself reports through MLT (`melt -query filter=frei0r.fxaa`, read on standard input):
the same five parameters, titles and defaults, a stored range of 0 to 1, and shown ranges and
choices that are the plug-in's own (the module's parameter explanations name them).
Usage: melt -query filter=frei0r.fxaa | check_editors.py KDENLIVE.xml META.qml UI.qml"""
import math
import re
import sys
import xml.etree.ElementTree as ElementTree

SERVICE = "frei0r.fxaa"


def read_query(text):
    """The parameters of melt's YAML answer, as dicts of strings (a flat reading: enough here)."""
    params, current = [], None
    for line in text.splitlines():
        item = re.match(r"\s*- identifier:\s*(\S+)", line)
        if item:
            current = {"identifier": item.group(1)}
            params.append(current)
            continue
        field = re.match(r"\s+(\w+):\s*(.*)", line)
        if current is not None and field:
            current[field.group(1)] = field.group(2).strip().strip('"')
    if not re.search(r"^identifier:\s*%s$" % re.escape(SERVICE), text, re.M):
        raise AssertionError("melt does not know %s" % SERVICE)
    return params


def plugin_range(param):
    """(min, max) of the plug-in's control, or the popup's [(stored value, choice)]."""
    text = param.get("description", "")
    ranged = re.search(r"maps onto (\S+) to (\S+)", text)
    if ranged:
        return float(ranged.group(1)), float(ranged.group(2))
    choices = re.findall(r"([\d.]+): ([^,(]+?)(?=,|\s\()", text)
    if not choices:
        raise AssertionError("parameter %s explains no range: %r" % (param["identifier"], text))
    return [(float(value), name) for value, name in choices]


def same(a, b):
    return math.isclose(float(a), float(b), rel_tol=1e-9, abs_tol=1e-9)


def check_kdenlive(path, params, faults):
    effect = ElementTree.parse(path).getroot()
    if effect.get("tag") != SERVICE or effect.get("id") != SERVICE:
        faults.append("Kdenlive: the effect is not tagged %s" % SERVICE)
    shown = effect.findall("parameter")
    if len(shown) != len(params):
        faults.append("Kdenlive: %d parameters, the module has %d" % (len(shown), len(params)))
    for xml, param in zip(shown, params):
        where = "Kdenlive parameter %s" % param["identifier"]
        if xml.get("name") != param["identifier"] or xml.findtext("name") != param["title"]:
            faults.append("%s is %s/%s, not %s" % (where, xml.get("name"), xml.findtext("name"),
                                                   param["title"]))
        if not same(xml.get("default"), param["default"]):
            faults.append("%s: default %s, the module's %s" % (where, xml.get("default"),
                                                               param["default"]))
        plugin = plugin_range(param)
        if isinstance(plugin, list):
            values = [float(v) for v in xml.get("paramlist", "").split(";")]
            names = xml.findtext("paramlistdisplay", "").split(",")
            if xml.get("type") != "list" or list(zip(values, names)) != plugin:
                faults.append("%s: choices %s %s, the module's %s" % (where, values, names, plugin))
            continue
        factor = float(xml.get("factor", "1"))
        shown_range = float(xml.get("min")), float(xml.get("max"))
        if shown_range != plugin or not (same(shown_range[0] / factor, param["minimum"]) and
                                         same(shown_range[1] / factor, param["maximum"])):
            faults.append("%s: shows %s over factor %g; the plug-in's range is %s, stored %s to %s"
                          % (where, shown_range, factor, plugin, param["minimum"],
                             param["maximum"]))


def check_shotcut(meta_path, ui_path, params, faults):
    meta = open(meta_path, encoding="utf-8").read()
    if not re.search(r"mlt_service:\s*['\"]%s['\"]" % re.escape(SERVICE), meta):
        faults.append("Shotcut: meta.qml does not name %s" % SERVICE)
    ui = open(ui_path, encoding="utf-8").read()
    rows = dict((p, (label, stored)) for p, label, stored in re.findall(
        r"\{property: '(\d)', label: qsTr\('([^']*)'\).*?stored: ([\d.]+)\}", ui))
    combo = re.findall(r"qsTr\('([^']*)'\)", re.search(r"model: \[([^\]]*)\]", ui).group(1))
    for param in params:
        plugin = plugin_range(param)
        if isinstance(plugin, list):
            if combo != [name for _, name in plugin] or not same(plugin[0][0], param["default"]):
                faults.append("Shotcut: Source offers %s, the module %s" % (combo, plugin))
            continue
        row = rows.get(param["identifier"])
        if not row or row[0] != param["title"] or not same(row[1], param["default"]):
            faults.append("Shotcut: parameter %s is %s, the module's %s default %s" % (
                param["identifier"], row, param["title"], param["default"]))
        if plugin != (0.0, 100.0):   # the sliders show 0 to 100 and write a hundredth
            faults.append("Shotcut: the sliders show 0 to 100, %s spans %s" % (param["title"],
                                                                               plugin))


def main():
    kdenlive, meta, ui = sys.argv[1:4]
    try:
        params = read_query(sys.stdin.read())
    except AssertionError as fault:
        print(fault)
        return 1
    faults = [] if len(params) == 5 else ["the module reports %d parameters" % len(params)]
    check_kdenlive(kdenlive, params, faults)
    check_shotcut(meta, ui, params, faults)
    print("\n".join(faults))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
