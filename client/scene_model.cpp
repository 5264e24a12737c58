// Placeholder until the scene model lands.
#include "client/scene_model.h"

SceneModel::SceneModel() = default;
SceneModel::~SceneModel() { ClearScenes(); }
void SceneModel::ClearScenes() {}
