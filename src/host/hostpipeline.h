#pragma once

class FrameControlManager;

// The frame pipeline the host feeds: the capture builder's, or, when the
// builder could not be created, one of the host's own, so that placeholder
// frames are served all the same.
FrameControlManager* GetHostPipeline();

// Creates the host's own pipeline (start-up without a capture builder) and
// destroys it at shutdown.
void CreateStandalonePipeline();
void DestroyStandalonePipeline();
