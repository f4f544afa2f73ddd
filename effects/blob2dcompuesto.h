// The blob grid: a flat grid of instances of one mesh whose depth and size
// follow the field of six centres moving with the phase `factor`.
#pragma once

#include "camera.h"
#include "crowd.h"
#include "effect.h"
#include "scene.h"

class CBlob2DCompuesto : public Effect {
public:
    // A grid of `columns` x `rows` cells; zero or negative sizes give an
    // empty grid.
    CBlob2DCompuesto(int columns, int rows);
    // Deletes the scene, the instances, the crowd, the grid and the camera.
    ~CBlob2DCompuesto() override;

    // The scene, the crowd from ficheroObjeto, every cell at scale 1, the
    // camera.
    int Init() override;
    int Start() override;
    // Places every cell by the field and draws the scene.
    int Render(float t) override;

    // Field of one centre at the offset (dx, dy), in cells; at the centre
    // itself, the value of a distance of 1.
    static float Campo(float dx, float dy);
    // Number of cells (0 for an empty grid).
    long long CellCount() const { return m_instancias ? m_numInstancias : 0; }

    Scene* m_pEscena;
    Camera* m_pCamara;
    CrowdMesh** m_instancias; // row by row
    int m_columnas;
    int m_filas;
    Crowd* m_pCrowd;

private:
    // The opacity and the grid's placement, read in this order.
    struct Placement {
        float alpha, posx, posy, separacionx, separaciony;
    };
    Placement ReadPlacement();

    long long m_numInstancias;
};
