// Base of every drawable, and the scene: a list of drawables culled against
// a camera and drawn in an opaque and a transparent pass.
#pragma once

#include <list>
#include <vector>

#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

class Camera;

class SceneObject {
public:
    SceneObject();
    virtual ~SceneObject();
    // Draws the object; the world transform is already set. Returns 0.
    virtual int Render(Camera* camara, float frameTime) = 0;

    // m_world from the pose; the world sphere centre when there is a sphere.
    void UpdateWorld();
    // Frustum test; also stores m_visible and m_viewDepth.
    bool IsVisible(Camera* camara);

    D3DXMATRIX* GetWorld() { return &m_world; }
    bool IsTransparent() const { return m_transparent; }

    int m_id;
    float m_yaw, m_pitch, m_roll;
    D3DXVECTOR3 m_position;
    float m_scale;
    bool m_isTerrain;
    bool m_hasSphere;
    D3DXVECTOR3 m_sphereCenter;       // object space
    D3DXVECTOR3 m_worldSphereCenter;  // from UpdateWorld
    float m_sphereRadius;             // unscaled
    bool m_hasBox;
    D3DXVECTOR3 m_boxMin, m_boxMax;
    bool m_visible;
    bool m_transparent;
    D3DXMATRIX m_world;
    float m_viewDepth;  // view-space z of the origin, from IsVisible

    // Creation order; the scene draws each pass in this order so that every
    // run draws alike.
    unsigned long long m_creationIndex;

private:
    SceneObject(const SceneObject&) = delete;
    SceneObject& operator=(const SceneObject&) = delete;
};

class Scene {
public:
    Scene();
    // Empties the list; deletes no object.
    ~Scene();

    // Appends the object; an object added twice is drawn twice.
    void Add(SceneObject* object);
    // Takes the first object with that id out of the list and deletes it.
    void Remove(int id);
    // The first object with that id, or null.
    SceneObject* Find(int id);
    // Applies the camera, culls, and draws opaque objects first, then the
    // transparent ones in reverse order with depth writes off.
    void Render(Camera* camara, float frameTime);

    std::list<SceneObject*> m_objects;

private:
    // The frame's visible objects, kept between frames to reuse their storage.
    std::vector<SceneObject*> m_opaque, m_transparent;

    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
};

// A heap block with the interfaces made from it; releasing it frees and
// releases what is set.
struct ResourceBundle {
    ResourceBundle();
    void Release();

    void* m_pData;  // owned, freed with free()
    IUnknown* m_pFirst;
    IUnknown* m_pSecond;
    DWORD m_count;
    IUnknown** m_ppItems;  // owned array of m_count references, freed with delete[]
    IUnknown* m_pThird;
    IUnknown* m_pFourth;
};
