#!/usr/bin/python3
# The peer figures for bench_scope: pyqtgraph drawing the same four curves
# into the same 1200 x 600 plot, offscreen, with its fastest settings for
# long traces (peak downsampling, clipping to the view). bench_scope runs this
# beside its own figures; it can also be run alone.
#
# Needs Debian's python3-pyqtgraph, python3-pyqt6 and python3-numpy:
#   sudo apt-get install python3-pyqtgraph python3-pyqt6 python3-numpy
#
# Prints one line per figure: "<name> <points> <median ms>".

import math
import os
import sys
import time

os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
os.environ.setdefault("PYQTGRAPH_QT_LIB", "PyQt6")

import numpy as np  # noqa: E402
import pyqtgraph as pg  # noqa: E402
from pyqtgraph.Qt import QtCore, QtGui, QtWidgets  # noqa: E402


def median_ms(runs, work):
    # Thread CPU time, as the C++ side measures: the machine is shared.
    samples = []
    for _ in range(runs):
        start = time.thread_time()
        work()
        samples.append((time.thread_time() - start) * 1e3)
    samples.sort()
    return samples[len(samples) // 2]


def data(n, seed):
    rng = np.random.default_rng(seed)
    i = np.arange(n, dtype=np.float64)
    noise = rng.integers(-300, 301, n)
    return [
        np.sin(i / 300.0) * 3000 + noise,
        np.cos(i / 500.0) * 1500,
        rng.integers(-300, 301, n).astype(np.float64),
        (i % 1000) - 500,
    ]


def main():
    app = QtWidgets.QApplication(sys.argv)
    pg.setConfigOptions(antialias=False, useOpenGL=False)
    colours = [(255, 0, 0), (0, 128, 255), (255, 128, 0), (255, 255, 0)]
    for n in (10000, 65535):
        w = pg.PlotWidget()
        w.resize(1200, 600)
        w.show()
        curves = []
        for c in colours:
            curve = w.plot(pen=pg.mkPen(c, width=1))
            curve.setDownsampling(auto=True, method="peak")
            curve.setClipToView(True)
            curves.append(curve)
        x = np.arange(n, dtype=np.float64)
        ys = data(n, 3)
        for curve, y in zip(curves, ys):
            curve.setData(x, y)
        app.processEvents()
        image = QtGui.QImage(w.size(), QtGui.QImage.Format.Format_RGB32)

        def repaint():
            # The whole widget painted once, as a redraw on screen would.
            painter = QtGui.QPainter(image)
            w.render(painter)
            painter.end()

        repaint()
        unchanged = median_ms(31, repaint)
        fresh = [data(n, s) for s in range(11)]
        state = {"k": 0}

        def new_data():
            ys = fresh[state["k"] % len(fresh)]
            state["k"] += 1
            for curve, y in zip(curves, ys):
                curve.setData(x, y)
            repaint()

        new = median_ms(11, new_data)
        print(f"unchanged {n} {unchanged:.3f}")
        print(f"new {n} {new:.3f}")
        sys.stdout.flush()
        w.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
