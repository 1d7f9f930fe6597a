#pragma once

class MainWindow;

// `periphd --simulate`: the simulated devices (the pad, both identity card
// readers) stand behind the USB layer, so a page can try the signing flow
// and the card reads without devices; and a sign screen that lies on no
// screen gives way to the primary screen (SignScreen.h). Off by default.
void enableSimulation();
bool simulationEnabled();

// When simulating, lets the mouse write on the window as the pen does: its
// strokes become reports of the simulated pad and travel the sampling
// thread like real ones. Does nothing otherwise.
void attachSimulatedPen(MainWindow* window);
